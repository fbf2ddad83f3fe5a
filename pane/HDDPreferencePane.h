// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bindings/KeyValueObject.h"
#include "bindings/ObjectController.h"
#include "frontends/RepeatingTimer.h"
#include "pane/GraphSink.h"
#include "pane/TextField.h"
#include "protocol/DaemonProxy.h"

namespace drivetherm {

class DriveWalk;

class TempTransformer;

// The settings window's controller: the user's window onto the fan daemon. It holds no setting
// of its own; every getter asks the daemon afresh and every setter forwards to it, then to the
// graph. The window's controls bind to these keys through fileOwnerController() with key paths
// "selection.<key>":
//
//   baseRpm, lowerThreshold, upperThreshold       int / float °C; forwarded, then the graph
//   fahrenheit                                    graph, daemon, temperature text, poll, refresh
//   pinToBase                                     daemon, graph (the value read back), poll,
//                                                 refresh
//   useAmbientTemp                                daemon, poll, refresh
//   HDDName                                       string or none; daemon only
//   shouldShowDriveSelection                      read-only; true when there is nothing to choose
//
// "Refresh" sets the controller's content to none and back, so that every bound control reads
// again. The drive list (GetDrives) is a plain method: a key's value cannot hold a list.
//
// Life of the window: the constructor is the bundle's set-up, awakeFromNib() connects once the
// controls are bound, willSelect() and didUnselect() bracket each time the window is on screen;
// while it is, the readings are polled every five seconds.
//
// The daemon may refuse a change (no privilege) or stop answering. Neither ever escapes from a
// setter or getter: a refusal leaves the daemon's value in place (the control reads it back when
// it is notified) and reports one line through the message sink; a daemon that stops answering
// reads as zeros, like one that was never there, until it answers again.
class HDDPreferencePane : public KeyValueObject {
public:
    static constexpr std::chrono::milliseconds kPollInterval{5000};

    // What the window shows the readings in.
    struct Outlets {
        TextField& fanField;
        TextField& temperatureField;
        GraphSink& graphView;
    };
    // Binds to the daemon; called once, by awakeFromNib(). A none proxy means no daemon.
    using DaemonBinder = std::function<DaemonProxy()>;
    // One line for the user; the empty string takes the last one away.
    using MessageSink = std::function<void(const std::string&)>;

    // Makes the temperature text and enters it in the registry under "TempTransformer".
    // `drives` lists the machine's disks for the drive chooser (null: none can be listed); the
    // caller keeps it alive.
    HDDPreferencePane(Outlets outlets, DaemonBinder binder, TimerFactory& timers,
                      DriveWalk* drives);
    ~HDDPreferencePane() override;

    void setMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }

    // Binds to the daemon, hands the unit to the temperature text and the unit and pin-to-base to
    // the graph, then makes this the controller's content so the bound controls show the
    // daemon's values.
    void awakeFromNib();
    // The window is about to be shown: pushes the settings into the graph, polls once and starts
    // the five-second poll. Exactly one poll timer runs while the window is shown.
    void willSelect();
    // The window was hidden or minimised: stops the poll.
    void didUnselect();
    // One poll: a fresh temperature and fan speed into the fields and the graph (zeros when the
    // daemon gives no answer).
    void updateOutput();
    // The daemon's defaults through the pane's own setters, each with its full effect.
    void resetDefaults();

    // The drive walk's names, or none when the disks cannot be searched.
    std::optional<std::vector<std::string>> GetAllDrives();
    // The drive names for the chooser, built on first use and kept for the life of the pane.
    const std::vector<std::string>& GetDrives();
    // True when there is nothing to choose (one drive or none); then a stored drive name is
    // cleared first, so that the daemon follows its default disk.
    bool shouldShowDriveSelection();

    // The bindable keys. Each setter notifies the key's observers once, as a bound write does.
    int baseRpm();
    void setBaseRpm(int rpm);
    float lowerThreshold();
    void setLowerThreshold(float celsius);
    float upperThreshold();
    void setUpperThreshold(float celsius);
    bool fahrenheit();
    void setFahrenheit(bool fahrenheit);
    bool pinToBase();
    void setPinToBase(bool pin);
    bool useAmbientTemp();
    void setUseAmbientTemp(bool useAmbient);
    std::optional<std::string> HDDName();
    void setHDDName(const std::optional<std::string>& name);

    ObjectController& fileOwnerController() { return fileOwnerController_; }
    bool isConnected() const { return !daemon_.isNone(); }

protected:
    // A control that writes none to a number or a flag (none ever should) changes nothing.
    void setNilValueForKey(const std::string& key) override;

private:
    void refresh();
    void applyBaseRpm(int rpm);
    void applyLowerThreshold(float celsius);
    void applyUpperThreshold(float celsius);
    void applyFahrenheit(bool fahrenheit);
    void applyPinToBase(bool pin);
    void applyUseAmbientTemp(bool useAmbient);
    void applyHDDName(const std::optional<std::string>& name);

    // Runs one call to the daemon. False when the daemon refused it or did not answer; the user
    // has been told.
    bool reach(const std::function<void()>& call);
    template <class T>
    T ask(const std::function<T()>& call, T none);
    void tell(const std::string& message);

    Outlets outlets_;
    DaemonBinder binder_;
    TimerFactory& timers_;
    ObjectController fileOwnerController_;
    DaemonProxy daemon_;
    std::shared_ptr<TempTransformer> transformer_;
    std::unique_ptr<RepeatingTimer> timer_;
    DriveWalk* driveWalk_;
    std::optional<std::vector<std::string>> Drives_;
    MessageSink messageSink_;
    // The last call found the daemon gone; the controls show zeros.
    bool lost_ = false;
};

}  // namespace drivetherm
