// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/HDDPreferencePane.h"

#include "bindings/TransformerRegistry.h"
#include "common/Log.h"
#include "frontends/TempTransformer.h"
#include "hardware/disk/DriveWalk.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "settings";
constexpr const char* kLostMessage =
    "The fan daemon is not answering; the window shows zeros until it is back.";

// The daemon's own defaults, which the reset button restores.
constexpr float kDefaultLowerThreshold = 50.0f;
constexpr float kDefaultUpperThreshold = 58.0f;
constexpr int kDefaultBaseRpm = 1100;

}  // namespace

HDDPreferencePane::HDDPreferencePane(Outlets outlets, DaemonBinder binder, TimerFactory& timers,
                                     DriveWalk* drives)
    : outlets_(outlets),
      binder_(std::move(binder)),
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
    if (timer_) timer_->invalidate();
}

void HDDPreferencePane::awakeFromNib() {
    daemon_ = binder_ ? binder_() : DaemonProxy();
    if (daemon_.isNone()) {
        tell(
            "The fan daemon is not running; the window shows zeros. Start drivethermd and open "
            "this window again.");
    }
    transformer_->setFahrenheit(fahrenheit());
    outlets_.graphView.setFahrenheit(fahrenheit());
    outlets_.graphView.setPinToBase(pinToBase());
    fileOwnerController_.setContent(this);
}

void HDDPreferencePane::willSelect() {
    GraphSink& graph = outlets_.graphView;
    graph.setBaseRpm(baseRpm());
    graph.setLowerThreshold(lowerThreshold());
    graph.setUpperThreshold(upperThreshold());
    graph.setFahrenheit(fahrenheit());
    graph.setPinToBase(pinToBase());
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
    const bool wasLost = lost_;
    float temperature = 0.0f;
    int rpm = 0;
    if (!reach([&] { daemon_.temperature(&temperature, &rpm); })) {
        temperature = 0.0f;
        rpm = 0;
    }
    outlets_.fanField.setIntValue(rpm);
    outlets_.temperatureField.setStringValue(transformer_->transformedTemperature(temperature));
    outlets_.graphView.setCurrentTemp(temperature);
    outlets_.graphView.setCurrentRpm(static_cast<float>(rpm));
    // The daemon went away or came back: every control reads again, showing zeros or the
    // daemon's values, so that the window never mixes the two.
    if (lost_ != wasLost) refresh();
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
    const std::optional<std::string> name = HDDName();
    // On the bus no drive travels as the empty string: clearing "" would change nothing, yet it
    // would ask for the privilege to change a setting every time the controls read again.
    if (name && !name->empty()) setHDDName(std::nullopt);
    return true;
}

int HDDPreferencePane::baseRpm() {
    return ask<int>([this] { return daemon_.baseRpm(); }, 0);
}
void HDDPreferencePane::setBaseRpm(int rpm) {
    setValueForKey(Value(rpm), "baseRpm");
}

float HDDPreferencePane::lowerThreshold() {
    return ask<float>([this] { return daemon_.lowerThreshold(); }, 0.0f);
}
void HDDPreferencePane::setLowerThreshold(float celsius) {
    setValueForKey(Value(static_cast<double>(celsius)), "lowerThreshold");
}

float HDDPreferencePane::upperThreshold() {
    return ask<float>([this] { return daemon_.upperThreshold(); }, 0.0f);
}
void HDDPreferencePane::setUpperThreshold(float celsius) {
    setValueForKey(Value(static_cast<double>(celsius)), "upperThreshold");
}

bool HDDPreferencePane::fahrenheit() {
    return ask<bool>([this] { return daemon_.fahrenheit(); }, false);
}
void HDDPreferencePane::setFahrenheit(bool fahrenheit) {
    setValueForKey(Value(fahrenheit), "fahrenheit");
}

bool HDDPreferencePane::pinToBase() {
    return ask<bool>([this] { return daemon_.pinToBase(); }, false);
}
void HDDPreferencePane::setPinToBase(bool pin) {
    setValueForKey(Value(pin), "pinToBase");
}

bool HDDPreferencePane::useAmbientTemp() {
    return ask<bool>([this] { return daemon_.useAmbientTemp(); }, false);
}
void HDDPreferencePane::setUseAmbientTemp(bool useAmbient) {
    setValueForKey(Value(useAmbient), "useAmbientTemp");
}

std::optional<std::string> HDDPreferencePane::HDDName() {
    return ask<std::optional<std::string>>([this] { return daemon_.HDDName(); }, std::nullopt);
}
void HDDPreferencePane::setHDDName(const std::optional<std::string>& name) {
    setValueForKey(name ? Value(*name) : Value(), "HDDName");
}

void HDDPreferencePane::applyBaseRpm(int rpm) {
    if (reach([&] { daemon_.setBaseRpm(rpm); })) outlets_.graphView.setBaseRpm(rpm);
}

void HDDPreferencePane::applyLowerThreshold(float celsius) {
    if (reach([&] { daemon_.setLowerThreshold(celsius); })) {
        outlets_.graphView.setLowerThreshold(celsius);
    }
}

void HDDPreferencePane::applyUpperThreshold(float celsius) {
    if (reach([&] { daemon_.setUpperThreshold(celsius); })) {
        outlets_.graphView.setUpperThreshold(celsius);
    }
}

void HDDPreferencePane::applyFahrenheit(bool fahrenheit) {
    outlets_.graphView.setFahrenheit(fahrenheit);
    if (!reach([&] { daemon_.setFahrenheit(fahrenheit); })) {
        // The graph went first: give it the unit the daemon kept.
        outlets_.graphView.setFahrenheit(this->fahrenheit());
        return;
    }
    transformer_->setFahrenheit(fahrenheit);
    updateOutput();
    refresh();
}

void HDDPreferencePane::applyPinToBase(bool pin) {
    if (!reach([&] { daemon_.setPinToBase(pin); })) return;
    outlets_.graphView.setPinToBase(pinToBase());
    updateOutput();
    refresh();
}

void HDDPreferencePane::applyUseAmbientTemp(bool useAmbient) {
    if (!reach([&] { daemon_.setUseAmbientTemp(useAmbient); })) return;
    updateOutput();
    refresh();
}

void HDDPreferencePane::applyHDDName(const std::optional<std::string>& name) {
    reach([&] { daemon_.setHDDName(name); });
}

void HDDPreferencePane::setNilValueForKey(const std::string& key) {
    log::warning(kTag, "ignored an empty value for %s", key.c_str());
}

void HDDPreferencePane::refresh() {
    fileOwnerController_.setContent(nullptr);
    fileOwnerController_.setContent(this);
}

bool HDDPreferencePane::reach(const std::function<void()>& call) {
    try {
        call();
        if (lost_) {
            lost_ = false;
            tell("");
        }
        return true;
    } catch (const DaemonRefused& e) {
        tell(std::string("The daemon kept its setting: ") + e.what() + ".");
    } catch (const DaemonConnectionLost& e) {
        if (!lost_) {
            log::warning(kTag, "%s", e.what());
            lost_ = true;
            tell(kLostMessage);
        }
    } catch (const DaemonError& e) {
        tell(std::string("The fan daemon gave an answer this window does not understand: ") +
             e.what() + ".");
    }
    return false;
}

template <class T>
T HDDPreferencePane::ask(const std::function<T()>& call, T none) {
    T value = none;
    if (!reach([&] { value = call(); })) return none;
    return value;
}

void HDDPreferencePane::tell(const std::string& message) {
    if (!message.empty()) log::info(kTag, "%s", message.c_str());
    if (messageSink_) messageSink_(message);
}

}  // namespace drivetherm
