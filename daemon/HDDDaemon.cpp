// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/HDDDaemon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/Log.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "daemon";
constexpr int kCheckEveryTicks = 61;
constexpr int kMaxRampSkip = 20;  // a step smaller than this leaves the fan alone
constexpr int kFailedChecksBeforeMax = 11;
constexpr double kHighestPlausibleDiskTemp = 120.0;
// The journal's message ids of the two structured lines, so scripts select them by id
// ("journalctl MESSAGE_ID=..."), not by their text.
constexpr const char* kCheckMessageId = "2d674f394d2c4e2981f9fb744faf1a95";
constexpr const char* kChangeMessageId = "6486b1aaadec40448836ad9611c19141";

int clampToInt(double value) {
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(value, lo, hi));
}

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

const char* kindName(const PreferenceValue& value) {
    switch (value.index()) {
        case 0:
            return "an integer";
        case 1:
            return "a real number";
        case 2:
            return "a boolean";
        default:
            return "a string";
    }
}

std::optional<int> asInt(const PreferenceValue& value) {
    if (auto* i = std::get_if<std::int64_t>(&value)) {
        if (*i < std::numeric_limits<int>::min() || *i > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
        return static_cast<int>(*i);
    }
    if (auto* d = std::get_if<double>(&value)) {
        if (!std::isfinite(*d) || std::fabs(*d) >= 2147483648.0) return std::nullopt;
        return static_cast<int>(*d);
    }
    if (auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
    return std::nullopt;
}

std::optional<float> asFloat(const PreferenceValue& value) {
    if (auto* d = std::get_if<double>(&value)) return static_cast<float>(*d);
    if (auto* i = std::get_if<std::int64_t>(&value)) return static_cast<float>(*i);
    return std::nullopt;
}

std::optional<bool> asBool(const PreferenceValue& value) {
    if (auto* b = std::get_if<bool>(&value)) return *b;
    if (auto* i = std::get_if<std::int64_t>(&value)) return *i != 0;
    if (auto* d = std::get_if<double>(&value)) return *d != 0.0;
    return std::nullopt;
}

}  // namespace

HDDDaemon::HDDDaemon(DaemonHardware& hardware, PreferenceStore& store, Clock& clock)
    : hardware_(hardware), store_(store), clock_(clock) {}

// ---- Settings ---------------------------------------------------------------------------------

void HDDDaemon::readPreferences() {
    // A value of the wrong kind is treated as absent and named once, so the user can mend the file.
    auto load = [this](const char* key, auto convert, const char* expected)
        -> std::optional<typename decltype(convert(PreferenceValue{}))::value_type> {
        std::optional<PreferenceValue> stored = store_.copyValue(key);
        if (!stored) return std::nullopt;
        auto converted = convert(*stored);
        if (!converted) {
            log::warning(kTag, "%s: key \"%s\" holds %s, not %s; using the default",
                         store_.location().c_str(), key, kindName(*stored), expected);
        }
        return converted;
    };

    if (auto v = load(kBaseRpmKey, asInt, "a whole number of rpm")) baseRpm_ = *v;
    if (auto v = load(kLowerThresholdKey, asFloat, "a number of degrees Celsius")) {
        lowerThreshold_ = *v;
    }
    if (auto v = load(kUpperThresholdKey, asFloat, "a number of degrees Celsius")) {
        upperThreshold_ = *v;
    }
    if (auto v = load(kFahrenheitKey, asBool, "a boolean")) fahrenheit_ = *v;
    pinToBase_ = load(kPinToBaseKey, asBool, "a boolean").value_or(false);

    auto asString = [](const PreferenceValue& value) -> std::optional<std::string> {
        if (auto* s = std::get_if<std::string>(&value)) return *s;
        return std::nullopt;
    };
    HDDName_ = load(kHDDNameKey, asString, "a string").value_or(std::string());
    if (auto v = load(kUseAmbientTempKey, asBool, "a boolean")) useAmbientTemp_ = *v;

    // A base speed this low was never offered together with a drive choice: drop the choice.
    if (baseRpm_ <= 999) HDDName_.reset();
}

void HDDDaemon::storePreferences() {
    store_.setValue(kBaseRpmKey, static_cast<std::int64_t>(baseRpm_));
    store_.setValue(kLowerThresholdKey, static_cast<double>(lowerThreshold_));
    store_.setValue(kUpperThresholdKey, static_cast<double>(upperThreshold_));
    store_.setValue(kFahrenheitKey, fahrenheit_);
    store_.setValue(kPinToBaseKey, pinToBase_);
    if (HDDName_) {
        store_.setValue(kHDDNameKey, *HDDName_);
    } else {
        store_.removeValue(kHDDNameKey);
    }
    store_.setValue(kUseAmbientTempKey, useAmbientTemp_);
    store_.synchronize();
}

void HDDDaemon::writeValues() {
    storePreferences();
}

void HDDDaemon::setBaseRpm(int value) {
    baseRpm_ = value;
    needWrite_ = true;
}

void HDDDaemon::setLowerThreshold(float value) {
    lowerThreshold_ = value;
    needWrite_ = true;
}

void HDDDaemon::setUpperThreshold(float value) {
    upperThreshold_ = value;
    needWrite_ = true;
}

void HDDDaemon::setFahrenheit(bool value) {
    fahrenheit_ = value;
    needWrite_ = true;
}

void HDDDaemon::setPinToBase(bool value) {
    pinToBase_ = value;
    needWrite_ = true;
}

void HDDDaemon::setUseAmbientTemp(bool value) {
    useAmbientTemp_ = value;
    needWrite_ = true;
    lastFreshQuery_.reset();  // the next query measures from the new source
}

void HDDDaemon::setHDDName(std::optional<std::string> value) {
    HDDName_ = std::move(value);
    lastFreshQuery_.reset();
}

// ---- Disk selection ---------------------------------------------------------------------------

void HDDDaemon::getDisk() {
    if (!HDDName_ || HDDName_->empty()) {
        if (oldHDDName_) needWrite_ = true;
        oldHDDName_.reset();
        disk_ = kDefaultDisk;
    } else {
        // Resolved on every call, so a drive that was not yet registered is found later.
        oldHDDName_ = HDDName_;
        disk_ = GetBSDNameForDriveName(HDDName_);
        needWrite_ = true;
    }
    if (!disk_) disk_ = kDefaultDisk;
}

std::optional<std::string> HDDDaemon::GetBSDNameForDriveName(
    const std::optional<std::string>& name) {
    if (!name || name->empty()) return std::nullopt;
    return hardware_.bsdNameForDriveName(*name);
}

// ---- Control loop -----------------------------------------------------------------------------

void HDDDaemon::timer() {
    ++checkTempCount_;
    hardware_.openSmcConnection();  // a failed open makes the reads fail and the writes vanish

    if (checkTempCount_ >= kCheckEveryTicks) checkTemperature();

    const int before = currentRpm_;
    if (currentRpm_ == 0) {
        currentRpm_ = targetRpm_;
    } else {
        // In 64 bits: the speeds come from settings any privileged client may set to extremes.
        const std::int64_t gap = std::int64_t{targetRpm_} - currentRpm_;
        const std::int64_t step = gap / 6;
        if (std::llabs(step) >= kMaxRampSkip) currentRpm_ = clampToInt(currentRpm_ + step);
    }
    if (currentRpm_ != before) {
        if (log::enabled(log::Level::Debug)) {
            log::debug(kTag,
                       {{"MESSAGE_ID", kChangeMessageId},
                        {"FAN", 1},
                        {"COMMANDED_RPM", currentRpm_},
                        {"TARGET_RPM", targetRpm_}},
                       "fan 1 commanded %d rpm", currentRpm_);
        }
    }

    // The fan value carries 0 to 16383 rpm; never let a wild setting wrap around into it.
    const int commanded = std::clamp(currentRpm_, 0, kHighestWritableRpm);
    hardware_.writeSmcFanSpeed("F1Mn", commanded);
    hardware_.writeSmcFanSpeed("F1Mx", commanded);
    hardware_.closeSmcConnection();

    if (needWrite_) {
        storePreferences();
        needWrite_ = false;
    }
}

void HDDDaemon::checkTemperature() {
    checkTempCount_ = 0;
    getDisk();

    if (pinToBase_) {
        targetRpm_ = baseRpm_;
        if (log::enabled(log::Level::Info)) {
            log::info(kTag,
                      {{"MESSAGE_ID", kCheckMessageId},
                       {"TEMPERATURE_SOURCE", "none"},
                       {"TARGET_RPM", targetRpm_}},
                      "check: pinned to base, target %d rpm", targetRpm_);
        }
        return;
    }

    const char* source = "sensors";
    if (disk_ && !useAmbientTemp_) {
        temp_ = hardware_.readDriveTemperature(disk_->c_str());
        source = disk_->c_str();
    } else {
        temp_ = 0.0;
    }
    if (temp_ > kHighestPlausibleDiskTemp || temp_ <= 0.0) {
        temp_ = getAvarageTemp();
        source = "sensors";
    }

    targetRpm_ = curveTarget(temp_);

    if (temp_ == 0.0) {
        ++noReadCount_;
        if (noReadCount_ >= kFailedChecksBeforeMax) targetRpm_ = maxRpm_;
    } else {
        noReadCount_ = 0;
    }
    if (log::enabled(log::Level::Info)) {
        log::info(kTag,
                  {{"MESSAGE_ID", kCheckMessageId},
                   {"TEMPERATURE_CELSIUS", temp_},
                   {"TEMPERATURE_SOURCE", disk_ && source == disk_->c_str() ? "disk" : "sensors"},
                   {"DRIVE", disk_.value_or("")},
                   {"DRIVE_MODEL", HDDName_.value_or("")},
                   {"TARGET_RPM", targetRpm_},
                   {"NO_READING_COUNT", noReadCount_}},
                  "check: %.2f °C from %s, target %d rpm%s", temp_, source, targetRpm_,
                  noReadCount_ > 0 ? " (no reading)" : "");
    }
}

int HDDDaemon::curveTarget(double t) const {
    const double lower = lowerThreshold_;
    const double upper = upperThreshold_;
    // A threshold or temperature that is not a number cannot place the disk on the curve:
    // run the fan at full speed rather than guess.
    if (!std::isfinite(t) || !std::isfinite(lower) || !std::isfinite(upper)) return maxRpm_;
    if (lower > t) return baseRpm_;
    if (t > upper) return maxRpm_;
    const double width = static_cast<float>(upperThreshold_ - lowerThreshold_);
    if (width == 0.0) return maxRpm_;  // both thresholds at t: 0/0, take the safe side
    const double fraction = (t - lower) / width;
    const double speed =
        (static_cast<double>(maxRpm_) - static_cast<double>(baseRpm_)) * fraction + baseRpm_;
    if (!std::isfinite(speed)) return maxRpm_;
    return clampToInt(std::trunc(speed));
}

std::map<std::string, std::string> HDDDaemon::getAllKeys() {
    return {
        {"TC0P", "CPU A"},          {"TC0D", "CPU A Diode"}, {"TC0H", "CPU A Heatsink"},
        {"TA0P", "Ambient"},        {"TL0P", "LCD"},         {"TO0P", "Optical Drive"},
        {"Tp1P", "Power supply 2"},
    };
}

double HDDDaemon::getAvarageTemp() {
    double sum = 0.0;
    int count = 0;
    for (const auto& [key, label] : getAllKeys()) {
        const double value = hardware_.readSmcTemperature(key.c_str());
        if (value > 0.0) {
            sum += value;
            ++count;
        }
    }
    return sum > 0.0 ? sum / count : 0.0;
}

double HDDDaemon::measureForQuery() {
    getDisk();
    if (disk_ && !useAmbientTemp_) {
        temp_ = hardware_.readDriveTemperature(disk_->c_str());
    } else {
        temp_ = 0.0;
    }
    if (temp_ > kHighestPlausibleDiskTemp) temp_ = 0.0;
    if (temp_ == 0.0) {
        hardware_.openSmcConnection();
        temp_ = getAvarageTemp();
        hardware_.closeSmcConnection();
    }
    return temp_;
}

void HDDDaemon::temperature(float* temperature, int* fanRpm) {
    if (temperature) {
        const auto now = clock_.now();
        if (!lastFreshQuery_ || now - *lastFreshQuery_ >= kFreshQueryInterval) {
            lastFreshTemp_ = measureForQuery();
            lastFreshQuery_ = now;
        }
        *temperature = static_cast<float>(lastFreshTemp_);
    }
    readFanSpeed(fanRpm);
}

void HDDDaemon::lastTemperature(float* temperature, int* fanRpm) {
    if (temperature) *temperature = static_cast<float>(temp_);
    readFanSpeed(fanRpm);
}

void HDDDaemon::readFanSpeed(int* fanRpm) {
    if (!fanRpm) return;
    hardware_.openSmcConnection();
    *fanRpm = hardware_.readSmcFanSpeed("F1Ac");
    hardware_.closeSmcConnection();
}

}  // namespace drivetherm
