// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/HDDPreferencePane.h"

#include "bindings/TransformerRegistry.h"
#include "common/Log.h"
#include "frontends/TempTransformer.h"
#include "hardware/disk/DriveWalk.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "settings";

// The daemon's own defaults, which the reset button restores.
constexpr float kDefaultLowerThreshold = 50.0f;
constexpr float kDefaultUpperThreshold = 58.0f;
constexpr int kDefaultBaseRpm = 1100;

// A line about one call, which the next accepted change or a few answered polls take away (a
// line about the daemon's absence goes when it answers again).
bool passing(HDDPreferencePane::Notice notice) {
    return notice == HDDPreferencePane::Notice::Refused ||
           notice == HDDPreferencePane::Notice::NotUnderstood;
}

}  // namespace

HDDPreferencePane::HDDPreferencePane(Outlets outlets, std::unique_ptr<DaemonCalls> daemon,
                                     TimerFactory& timers, DriveWalk* drives)
    : outlets_(outlets),
      daemon_(std::move(daemon)),
      timers_(timers),
      transformer_(std::make_shared<TempTransformer>()),
      driveWalk_(drives) {
    TransformerRegistry::setValueTransformer(transformer_, "TempTransformer");

    registerKey<int>(
        "baseRpm", [this] { return baseRpm(); }, [this](int v) { applyBaseRpm(v); });
    registerKey<float>(
        "lowerThreshold", [this] { return lowerThreshold(); },
        [this](float v) { applyLowerThreshold(v); });
    registerKey<float>(
        "upperThreshold", [this] { return upperThreshold(); },
        [this](float v) { applyUpperThreshold(v); });
    registerKey<bool>(
        "fahrenheit", [this] { return fahrenheit(); }, [this](bool v) { applyFahrenheit(v); });
    registerKey<bool>(
        "pinToBase", [this] { return pinToBase(); }, [this](bool v) { applyPinToBase(v); });
    registerKey<bool>(
        "useAmbientTemp", [this] { return useAmbientTemp(); },
        [this](bool v) { applyUseAmbientTemp(v); });
    registerKey(
        "HDDName",
        [this] {
            const auto name = HDDName();
            return name ? Value(*name) : Value();
        },
        [this](const Value& v) {
            applyHDDName(v.isString() ? std::optional<std::string>(v.stringValue()) : std::nullopt);
        });
    registerKey<bool>("shouldShowDriveSelection", [this] { return shouldShowDriveSelection(); });
}

HDDPreferencePane::~HDDPreferencePane() {
    *alive_ = false;
    if (timer_) timer_->invalidate();
}

void HDDPreferencePane::awakeFromNib() {
    transformer_->setFahrenheit(fahrenheit());
    outlets_.graphView.setFahrenheit(fahrenheit());
    outlets_.graphView.setPinToBase(pinToBase());
    fileOwnerController_.setContent(this);
    reload();
}

void HDDPreferencePane::willSelect() {
    pushSettings();
    updateOutput();
    // A second show without a hide in between must not leave two polls running.
    if (timer_) timer_->invalidate();
    timer_ = timers_.scheduledTimer(kPollInterval, [this] { updateOutput(); });
}

void HDDPreferencePane::didUnselect() {
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
}

void HDDPreferencePane::updateOutput() {
    // A slow disk holds the daemon: the next poll waits for this one instead of queueing up.
    if (polling_) return;
    polling_ = true;
    struct Answer {
        DaemonReading reading;
        DaemonSettings settings;
    };
    auto answer = std::make_shared<Answer>();
    const std::uint64_t edits = edits_;
    submit(
        [answer](DaemonProtocol& d) {
            d.temperature(&answer->reading.temperature, &answer->reading.fanRpm);
            answer->settings = readDaemonSettings(d);
        },
        [this, answer, edits](const DaemonCalls::Result& result) {
            polling_ = false;
            if (!result.ok()) {
                failed(result);
                return;
            }
            answered();
            reading_ = answer->reading;
            takeSettings(answer->settings, edits);
            showReading();
            if (passing(notice_) && ++noticePolls_ >= kNoticePolls) tell(Notice::None);
        });
}

void HDDPreferencePane::resetDefaults() {
    setLowerThreshold(kDefaultLowerThreshold);
    setUpperThreshold(kDefaultUpperThreshold);
    setBaseRpm(kDefaultBaseRpm);
    setPinToBase(false);
    setHDDName(std::nullopt);
    setFahrenheit(false);
    setUseAmbientTemp(false);
}

std::optional<std::vector<std::string>> HDDPreferencePane::GetAllDrives() {
    RegistryIterator iterator;
    if (driveWalk_ == nullptr || driveWalk_->FindStorageMedia(&iterator) != kIOReturnSuccess)
        return std::nullopt;
    return driveWalk_->GetDriveNameArray(iterator);
}

const std::vector<std::string>& HDDPreferencePane::GetDrives() {
    if (!Drives_) {
        Drives_ = GetAllDrives();
        if (!Drives_) Drives_.emplace();
    }
    return *Drives_;
}

bool HDDPreferencePane::shouldShowDriveSelection() {
    if (GetDrives().size() > 1) return false;
    // On the bus no drive travels as the empty string. Clearing the name is a change that needs
    // the privilege to make it: it waits for a change the user makes (and so asked for).
    if (settings_.HDDName && !settings_.HDDName->empty() && !driveNameCleared_) {
        clearDriveName_ = true;
    }
    return true;
}

int HDDPreferencePane::baseRpm() {
    return settings_.baseRpm;
}
void HDDPreferencePane::setBaseRpm(int rpm) {
    setValueForKey(Value(rpm), "baseRpm");
}

float HDDPreferencePane::lowerThreshold() {
    return settings_.lowerThreshold;
}
void HDDPreferencePane::setLowerThreshold(float celsius) {
    setValueForKey(Value(static_cast<double>(celsius)), "lowerThreshold");
}

float HDDPreferencePane::upperThreshold() {
    return settings_.upperThreshold;
}
void HDDPreferencePane::setUpperThreshold(float celsius) {
    setValueForKey(Value(static_cast<double>(celsius)), "upperThreshold");
}

bool HDDPreferencePane::fahrenheit() {
    return settings_.fahrenheit;
}
void HDDPreferencePane::setFahrenheit(bool fahrenheit) {
    setValueForKey(Value(fahrenheit), "fahrenheit");
}

bool HDDPreferencePane::pinToBase() {
    return settings_.pinToBase;
}
void HDDPreferencePane::setPinToBase(bool pin) {
    setValueForKey(Value(pin), "pinToBase");
}

bool HDDPreferencePane::useAmbientTemp() {
    return settings_.useAmbientTemp;
}
void HDDPreferencePane::setUseAmbientTemp(bool useAmbient) {
    setValueForKey(Value(useAmbient), "useAmbientTemp");
}

std::optional<std::string> HDDPreferencePane::HDDName() {
    return settings_.HDDName;
}
void HDDPreferencePane::setHDDName(const std::optional<std::string>& name) {
    setValueForKey(name ? Value(*name) : Value(), "HDDName");
}

void HDDPreferencePane::applyBaseRpm(int rpm) {
    settings_.baseRpm = rpm;
    outlets_.graphView.setBaseRpm(rpm);
    change([rpm](DaemonProtocol& d) { d.setBaseRpm(rpm); });
}

void HDDPreferencePane::applyLowerThreshold(float celsius) {
    settings_.lowerThreshold = celsius;
    outlets_.graphView.setLowerThreshold(celsius);
    change([celsius](DaemonProtocol& d) { d.setLowerThreshold(celsius); });
}

void HDDPreferencePane::applyUpperThreshold(float celsius) {
    settings_.upperThreshold = celsius;
    outlets_.graphView.setUpperThreshold(celsius);
    change([celsius](DaemonProtocol& d) { d.setUpperThreshold(celsius); });
}

void HDDPreferencePane::applyFahrenheit(bool fahrenheit) {
    settings_.fahrenheit = fahrenheit;
    outlets_.graphView.setFahrenheit(fahrenheit);
    transformer_->setFahrenheit(fahrenheit);
    // The reading, the threshold labels and the graph change unit together, at once.
    showReading();
    refresh();
    change([fahrenheit](DaemonProtocol& d) { d.setFahrenheit(fahrenheit); },
           [this] { updateOutput(); });
}

void HDDPreferencePane::applyPinToBase(bool pin) {
    settings_.pinToBase = pin;
    outlets_.graphView.setPinToBase(pin);
    refresh();
    change([pin](DaemonProtocol& d) { d.setPinToBase(pin); }, [this] { updateOutput(); });
}

void HDDPreferencePane::applyUseAmbientTemp(bool useAmbient) {
    settings_.useAmbientTemp = useAmbient;
    refresh();
    change([useAmbient](DaemonProtocol& d) { d.setUseAmbientTemp(useAmbient); },
           [this] { updateOutput(); });
}

void HDDPreferencePane::applyHDDName(const std::optional<std::string>& name) {
    settings_.HDDName = name;
    // The user chose: nothing is left to clear on their behalf.
    clearDriveName_ = false;
    change([name](DaemonProtocol& d) { d.setHDDName(name); });
}

void HDDPreferencePane::setNilValueForKey(const std::string& key) {
    log::warning(kTag, "ignored an empty value for %s", key.c_str());
}

void HDDPreferencePane::refresh() {
    fileOwnerController_.setContent(nullptr);
    fileOwnerController_.setContent(this);
}

void HDDPreferencePane::change(DaemonCalls::Call call, std::function<void()> accepted) {
    ++edits_;
    submit(std::move(call), [this, accepted = std::move(accepted)](const DaemonCalls::Result& r) {
        if (!r.ok()) {
            failed(r);
            // The daemon kept its value: the controls, the texts and the graph show it again.
            if (r.outcome == DaemonCalls::Outcome::Refused) reload();
            return;
        }
        answered();
        if (passing(notice_)) tell(Notice::None);
        if (clearDriveName_ && !driveNameCleared_) {
            clearDriveName_ = false;
            driveNameCleared_ = true;
            settings_.HDDName.reset();
            change([](DaemonProtocol& d) { d.setHDDName(std::nullopt); });
        }
        if (accepted) accepted();
    });
}

void HDDPreferencePane::reload() {
    auto settings = std::make_shared<DaemonSettings>();
    const std::uint64_t edits = edits_;
    submit([settings](DaemonProtocol& d) { *settings = readDaemonSettings(d); },
           [this, settings, edits](const DaemonCalls::Result& result) {
               if (!result.ok()) {
                   failed(result);
                   return;
               }
               answered();
               takeSettings(*settings, edits);
           });
}

void HDDPreferencePane::submit(DaemonCalls::Call call,
                               std::function<void(const DaemonCalls::Result&)> done) {
    if (outstanding_++ == 0 && busySink_) busySink_(true);
    daemon_->submit(std::move(call), [this, alive = alive_,
                                      done = std::move(done)](const DaemonCalls::Result& result) {
        if (!*alive) return;
        if (--outstanding_ == 0 && busySink_) busySink_(false);
        done(result);
    });
}

void HDDPreferencePane::takeSettings(const DaemonSettings& settings, std::uint64_t edits) {
    if (edits != edits_ || settings == settings_) return;
    settings_ = settings;
    pushSettings();
    showReading();
    refresh();
}

void HDDPreferencePane::pushSettings() {
    transformer_->setFahrenheit(settings_.fahrenheit);
    GraphSink& graph = outlets_.graphView;
    graph.setBaseRpm(settings_.baseRpm);
    graph.setLowerThreshold(settings_.lowerThreshold);
    graph.setUpperThreshold(settings_.upperThreshold);
    graph.setFahrenheit(settings_.fahrenheit);
    graph.setPinToBase(settings_.pinToBase);
}

void HDDPreferencePane::showReading() {
    outlets_.fanField.setIntValue(reading_.fanRpm);
    outlets_.temperatureField.setStringValue(
        transformer_->transformedTemperature(reading_.temperature));
    outlets_.graphView.setCurrentTemp(reading_.temperature);
    outlets_.graphView.setCurrentRpm(static_cast<float>(reading_.fanRpm));
}

void HDDPreferencePane::failed(const DaemonCalls::Result& result) {
    using Outcome = DaemonCalls::Outcome;
    switch (result.outcome) {
        case Outcome::Done:
            return;
        case Outcome::Refused:
            noticePolls_ = 0;
            tell(Notice::Refused, result.message);
            return;
        case Outcome::Failed:
            noticePolls_ = 0;
            tell(Notice::NotUnderstood, result.message);
            return;
        case Outcome::Lost:
        case Outcome::Absent:
            break;
    }
    const Notice notice =
        result.outcome == Outcome::Lost && connected_ ? Notice::Lost : Notice::Absent;
    if (connected_) log::warning(kTag, "%s", result.message.c_str());
    connected_ = false;
    // Zeros everywhere, never the old settings beside a missing reading.
    reading_ = DaemonReading();
    const bool changed = !(settings_ == DaemonSettings());
    settings_ = DaemonSettings();
    showReading();
    if (changed) {
        pushSettings();
        refresh();
    }
    // Said once: a daemon that went away stays "lost" while each new call finds none.
    if (notice_ != notice && !(notice_ == Notice::Lost && notice == Notice::Absent)) tell(notice);
}

void HDDPreferencePane::answered() {
    if (connected_) return;
    connected_ = true;
    if (notice_ == Notice::Lost || notice_ == Notice::Absent) tell(Notice::None);
}

void HDDPreferencePane::tell(Notice notice, const std::string& detail) {
    if (notice == notice_ && notice == Notice::None) return;
    notice_ = notice;
    if (notice != Notice::None) {
        log::info(kTag, "%s", detail.empty() ? "the fan daemon is not reachable" : detail.c_str());
    }
    if (messageSink_) messageSink_(notice, detail);
}

}  // namespace drivetherm
