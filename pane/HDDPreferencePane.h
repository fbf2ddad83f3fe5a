// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
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
#include "protocol/DaemonCalls.h"
#include "protocol/DaemonSnapshot.h"

namespace drivetherm {

class DriveWalk;

class TempTransformer;

// The settings window's controller: the user's window onto the fan daemon. It keeps no setting
// of its own: the getters answer what the daemon last said, every setter forwards to the daemon
// and to the graph. The window's controls bind to these keys through fileOwnerController() with
// key paths "selection.<key>":
//
//   baseRpm, lowerThreshold, upperThreshold       int / float °C; forwarded, then the graph
//   fahrenheit                                    graph, daemon, temperature text, poll, refresh
//   pinToBase                                     daemon, graph, poll, refresh
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
// The window never waits on the bus: every call goes through DaemonCalls and its answer arrives
// later. A change shows at once and is sent; a poll brings the reading and every setting in one
// answer, and a setting that changed elsewhere (the unit from the tray, all of them after the
// daemon restarted) reaches every control, the texts and the graph together. A refusal puts
// the daemon's value back and says why; a daemon that is gone reads as zeros until a poll
// reaches it again.
class HDDPreferencePane : public KeyValueObject {
public:
    static constexpr std::chrono::milliseconds kPollInterval{5000};
    // A refusal's line goes after this many answered polls without another refusal.
    static constexpr int kNoticePolls = 3;

    // What the window shows the readings in.
    struct Outlets {
        TextField& fanField;
        TextField& temperatureField;
        GraphSink& graphView;
    };
    // What the window tells the user; it words each kind in the user's language.
    enum class Notice {
        None,          // nothing to say: the line goes
        Absent,        // no daemon is running
        Lost,          // the daemon stopped answering
        Refused,       // the daemon kept its setting; the detail says why
        NotUnderstood  // an answer the window cannot read; the detail says which
    };
    using MessageSink = std::function<void(Notice notice, const std::string& detail)>;
    // True while a call is on its way to the daemon.
    using BusySink = std::function<void(bool busy)>;

    // Makes the temperature text and enters it in the registry under "TempTransformer".
    // `drives` lists the machine's disks for the drive chooser (null: none can be listed); the
    // caller keeps it alive.
    HDDPreferencePane(Outlets outlets, std::unique_ptr<DaemonCalls> daemon, TimerFactory& timers,
                      DriveWalk* drives);
    ~HDDPreferencePane() override;

    void setMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
    void setBusySink(BusySink sink) { busySink_ = std::move(sink); }

    // Hands the unit to the temperature text and the unit and pin-to-base to the graph, makes
    // this the controller's content, and asks the daemon for its settings; the controls show
    // them when the answer comes.
    void awakeFromNib();
    // The window is about to be shown: pushes the settings into the graph, polls once and starts
    // the five-second poll. Exactly one poll timer runs while the window is shown.
    void willSelect();
    // The window was hidden or minimised: stops the poll.
    void didUnselect();
    // One poll: asks for a fresh temperature and fan speed and the settings; the answer goes
    // into the fields, the graph and the controls (zeros when the daemon gives none). A poll
    // still on its way is not doubled.
    void updateOutput();
    // The daemon's defaults through the pane's own setters, each with its full effect.
    void resetDefaults();

    // The drive walk's names, or none when the disks cannot be searched.
    std::optional<std::vector<std::string>> GetAllDrives();
    // The drive names for the chooser, built on first use and kept for the life of the pane.
    const std::vector<std::string>& GetDrives();
    // True when there is nothing to choose (one drive or none). A stored drive name is then
    // cleared, so that the daemon follows its default disk, but only together with the first
    // change the user makes: opening the window changes nothing and asks for no privilege.
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

    // All the daemon last said of its settings, the controlled fan and its range included.
    const DaemonSettings& daemonSettings() const { return settings_; }
    const DaemonReading& reading() const { return reading_; }

    ObjectController& fileOwnerController() { return fileOwnerController_; }
    // The daemon answered the last call.
    bool isConnected() const { return connected_; }
    bool isBusy() const { return outstanding_ > 0; }

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

    // Sends a change the user made; `accepted` runs once the daemon took it.
    void change(DaemonCalls::Call call, std::function<void()> accepted = nullptr);
    // Asks for every setting; the answer replaces what the controls show.
    void reload();
    void submit(DaemonCalls::Call call, std::function<void(const DaemonCalls::Result&)> done);
    // Takes settings the daemon gave in answer to a question asked when `edits` changes had
    // been sent: an answer older than the user's latest change is not shown.
    void takeSettings(const DaemonSettings& settings, std::uint64_t edits);
    void pushSettings();
    void showReading();
    // A call failed: says why, and shows zeros when the daemon is gone.
    void failed(const DaemonCalls::Result& result);
    void answered();
    void tell(Notice notice, const std::string& detail = {});

    Outlets outlets_;
    std::unique_ptr<DaemonCalls> daemon_;
    TimerFactory& timers_;
    ObjectController fileOwnerController_;
    std::shared_ptr<TempTransformer> transformer_;
    std::unique_ptr<RepeatingTimer> timer_;
    DriveWalk* driveWalk_;
    std::optional<std::vector<std::string>> Drives_;
    MessageSink messageSink_;
    BusySink busySink_;

    DaemonSettings settings_;
    DaemonReading reading_;
    bool connected_ = false;
    // What the status line says now, and for how many answered polls a refusal has stood.
    Notice notice_ = Notice::None;
    int noticePolls_ = 0;
    int outstanding_ = 0;
    bool polling_ = false;
    // Changes sent so far; a settings answer asked for before the latest change is stale.
    std::uint64_t edits_ = 0;
    // A stored drive name waits to be cleared with the user's first change; done once.
    bool clearDriveName_ = false;
    bool driveNameCleared_ = false;
    // Answers that arrive after the pane is gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace drivetherm
