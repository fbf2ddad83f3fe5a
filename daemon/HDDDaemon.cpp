// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/HDDDaemon.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

#include "common/Log.h"
#include "protocol/BusNames.h"

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

// A stored value as the line about it shows it: a number as it is, a number that cannot be read
// as it was written, any other value by its kind.
std::string shown(const PreferenceValue& value) {
    switch (value.index()) {
        case 0:
            return std::to_string(std::get<std::int64_t>(value));
        case 1: {
            char text[32];
            std::snprintf(text, sizeof text, "%g", std::get<double>(value));
            return text;
        }
        case 2:
            return "a boolean";
        case 3:
            return "a string";
        default: {
            const auto& number = std::get<UnreadableNumber>(value);
            std::string text = number.text.substr(0, 40);
            for (char& c : text) {
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                    c = '?';
            }
            if (number.text.size() > text.size()) text += "...";
            return "<" + number.element + ">" + text + "</" + number.element + ">";
        }
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

// A fan number as the fan setter takes it: -1 or the index of one of the SMC's fans.
std::optional<int> asFanIndex(const PreferenceValue& value) {
    const std::optional<int> index = asInt(value);
    if (!index || *index < -1 || *index >= FanChoice::kMostFans) return std::nullopt;
    return index;
}

// Any number is a threshold, as the setter takes it: NaN and the infinities included.
std::optional<float> asFloat(const PreferenceValue& value) {
    if (auto* d = std::get_if<double>(&value)) return thresholdFromDouble(*d);
    if (auto* i = std::get_if<std::int64_t>(&value)) return static_cast<float>(*i);
    return std::nullopt;
}

std::optional<bool> asBool(const PreferenceValue& value) {
    if (auto* b = std::get_if<bool>(&value)) return *b;
    if (auto* i = std::get_if<std::int64_t>(&value)) return *i != 0;
    if (auto* d = std::get_if<double>(&value)) {
        if (!std::isfinite(*d)) return std::nullopt;
        return *d != 0.0;
    }
    return std::nullopt;
}

std::optional<std::string> asString(const PreferenceValue& value) {
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    return std::nullopt;
}

// The length of the UTF-8 sequence at `text[i]`, or 0 when none starts there: no overlong
// form, no surrogate, nothing beyond U+10FFFF.
std::size_t utf8Sequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    const unsigned lead = byte(0);
    const auto continuation = [&](std::size_t k) { return (byte(k) & 0xc0) == 0x80; };
    if (lead < 0x80) return 1;
    if (lead >= 0xc2 && lead <= 0xdf) return continuation(1) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        const unsigned second = byte(1);
        if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0)) return 0;
        return continuation(1) && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const unsigned second = byte(1);
        if ((lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second >= 0x90)) return 0;
        return continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

}  // namespace

bool acceptableDriveName(std::string_view name, std::string& why) {
    if (name.size() > bus::kLongestDriveName) {
        why = "a drive name is at most " + std::to_string(bus::kLongestDriveName) + " bytes long";
        return false;
    }
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = utf8Sequence(name, i);
        if (length == 0) {
            why = "a drive name is text in UTF-8";
            return false;
        }
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) {
            why = "a drive name cannot hold control characters";
            return false;
        }
        i += length;
    }
    return true;
}

float thresholdFromDouble(double value) {
    if (std::isnan(value)) return static_cast<float>(value);
    if (value > FLT_MAX) return HUGE_VALF;
    if (value < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(value);
}

HDDDaemon::HDDDaemon(DaemonHardware& hardware, PreferenceStore& store, Clock& clock)
    : hardware_(hardware), store_(store), clock_(clock) {}

// ---- Settings ---------------------------------------------------------------------------------

void HDDDaemon::readPreferences() {
    const std::string file = store_.location();
    // A value the setter would not take is treated as absent and named once, so the user can
    // mend the file.
    const auto refuse = [&](const char* key, const std::string& what, const std::string& fallback) {
        log::warning(kTag, "%s: key \"%s\" %s; using the default %s", file.c_str(), key,
                     what.c_str(), fallback.c_str());
    };
    const auto load = [&](const char* key, auto convert, const std::string& expected,
                          const std::string& fallback)
        -> std::optional<typename decltype(convert(PreferenceValue{}))::value_type> {
        std::optional<PreferenceValue> stored = store_.copyValue(key);
        if (!stored) return std::nullopt;
        auto converted = convert(*stored);
        if (!converted) refuse(key, "holds " + shown(*stored) + ", not " + expected, fallback);
        return converted;
    };
    const auto degrees = [](float value) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
        return std::string(text);
    };
    const auto yesNo = [](bool value) { return std::string(value ? "true" : "false"); };

    if (auto v = load(kBaseRpmKey, asInt, "a whole number of rpm from -2147483648 to 2147483647",
                      std::to_string(baseRpm_)))
        baseRpm_ = *v;
    if (auto v = load(kLowerThresholdKey, asFloat, "a number of degrees Celsius",
                      degrees(lowerThreshold_)))
        lowerThreshold_ = *v;
    if (auto v = load(kUpperThresholdKey, asFloat, "a number of degrees Celsius",
                      degrees(upperThreshold_)))
        upperThreshold_ = *v;
    if (auto v = load(kFahrenheitKey, asBool, "a boolean", yesNo(fahrenheit_))) fahrenheit_ = *v;
    pinToBase_ = load(kPinToBaseKey, asBool, "a boolean", yesNo(false)).value_or(false);

    constexpr const char* kNoDrive = "(no drive chosen)";
    HDDName_ = load(kHDDNameKey, asString, "a string", kNoDrive).value_or(std::string());
    if (std::string why; !acceptableDriveName(*HDDName_, why)) {
        refuse(kHDDNameKey, "holds no drive name (" + why + ")", kNoDrive);
        HDDName_ = std::string();
    }
    if (auto v = load(kUseAmbientTempKey, asBool, "a boolean", yesNo(useAmbientTemp_))) {
        useAmbientTemp_ = *v;
    }
    if (auto v = load(kFanIndexKey, asFanIndex,
                      "a fan number from -1 (chosen by the fans' names) to " +
                          std::to_string(FanChoice::kMostFans - 1),
                      std::to_string(fanIndex_)))
        fanIndex_ = *v;

    // A base speed this low was never offered together with a drive choice: drop the choice.
    if (baseRpm_ <= 999) HDDName_.reset();
}

void HDDDaemon::putPreferences() {
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
    store_.setValue(kFanIndexKey, static_cast<std::int64_t>(fanIndex_));
}

void HDDDaemon::storePreferences() {
    putPreferences();
    store_.synchronize();
}

void HDDDaemon::writeValues() {
    putPreferences();
    store_.rewrite();
}

void HDDDaemon::setBaseRpm(int value) {
    const bool changed = value != baseRpm_;
    baseRpm_ = value;
    needWrite_ = true;
    if (changed) noteBaseOutsideRange();
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

void HDDDaemon::setFanIndex(int value) {
    if (value != fanIndex_) fanChoiceStale_ = true;
    fanIndex_ = value;
    needWrite_ = true;
}

// ---- The fan ----------------------------------------------------------------------------------

void HDDDaemon::chooseFan() {
    hardware_.openSmcConnection();
    chooseFanWhileOpen();
    hardware_.closeSmcConnection();
}

void HDDDaemon::chooseFanWhileOpen() {
    const int count = hardware_.readSmcFanCount();
    if (count < 0) {
        // The choice so far, if any, stands; the next tick asks again.
        if (!saidFanCountUnreadable_) {
            log::warning(kTag, "the SMC does not say how many fans it has (FNum); %s",
                         fanChosen_ ? "the fan stays as chosen" : "no fan is driven until it does");
        }
        saidFanCountUnreadable_ = true;
        return;
    }
    saidFanCountUnreadable_ = false;
    std::vector<std::string> labels;
    for (int i = 0; i < std::min(count, FanChoice::kMostFans); ++i) {
        labels.push_back(hardware_.readSmcFanLabel(i));
    }
    std::string note;
    const FanChoice choice = FanChoice::choose(labels, fanIndex_, note);
    if (!note.empty()) log::warning(kTag, "%s", note.c_str());
    const bool same = fanChosen_ && choice == fan_;
    fanChoiceStale_ = false;
    if (same) return;
    if (fanChosen_ && fan_.mode != FanChoice::Mode::None) {
        // Another fan from now on: the one driven so far goes back to the SMC first.
        hardware_.closeSmcConnection();
        hardware_.handBackFans();
        hardware_.openSmcConnection();
    }
    fan_ = choice;
    fanChosen_ = true;
    fanRangeKnown_ = false;
    saidFanLimitsUnreadable_ = false;
    if (fan_.mode == FanChoice::Mode::None) {
        fanMinimumKey_.clear();
        fanMaximumKey_.clear();
        fanActualKey_.clear();
        log::warning(kTag,
                     "the SMC reports no fan: nothing is written to it; the temperature is "
                     "measured and served all the same");
        return;
    }
    const std::string prefix = "F" + std::to_string(fan_.index);
    fanMinimumKey_ = prefix + "Mn";
    fanMaximumKey_ = prefix + "Mx";
    fanActualKey_ = prefix + "Ac";
    readFanRange();
    const std::string range = fanRangeKnown_ ? ", its own range " + std::to_string(fanMinimum_) +
                                                   " to " + std::to_string(fanMaximum_) + " rpm"
                                             : "";
    log::info(kTag, "driving fan %d \"%s\" of %d, %s%s", fan_.index, fan_.label.c_str(), count,
              fan_.mode == FanChoice::Mode::Forced
                  ? "forced: its minimum and maximum held at the commanded speed"
                  : "in floor mode: only its minimum raised, since it is the only fan and cools "
                    "the processor too",
              range.c_str());
}

bool HDDDaemon::readFanRange() {
    int minimum = -1;
    int maximum = -1;
    if (!hardware_.readFanOwnLimits(fan_.index, minimum, maximum) || maximum <= 0) {
        if (!saidFanLimitsUnreadable_) {
            log::warning(kTag,
                         "fan %d: its own minimum and maximum speed cannot be read (%s, %s); it "
                         "is left to the SMC until they can",
                         fan_.index, fanMinimumKey_.c_str(), fanMaximumKey_.c_str());
        }
        saidFanLimitsUnreadable_ = true;
        return false;
    }
    if (minimum > maximum) {
        log::warning(kTag,
                     "fan %d reports a minimum of %d rpm above its maximum of %d rpm; its speed is "
                     "kept between the two",
                     fan_.index, minimum, maximum);
        std::swap(minimum, maximum);
    }
    fanMinimum_ = minimum;
    fanMaximum_ = maximum;
    fanRangeKnown_ = true;
    noteBaseOutsideRange();
    return true;
}

void HDDDaemon::noteBaseOutsideRange() const {
    if (!fanRangeKnown_ || fan_.mode == FanChoice::Mode::None) return;
    if (baseRpm_ >= fanMinimum_ && baseRpm_ <= fanMaximum_) return;
    log::warning(kTag,
                 "the base speed of %d rpm lies outside fan %d's own range of %d to %d rpm: it is "
                 "kept as set, but the fan is never driven outside its range",
                 baseRpm_, fan_.index, fanMinimum_, fanMaximum_);
}

void HDDDaemon::fanRange(int* minimum, int* maximum) const {
    const bool known = fanRangeKnown_ && fan_.mode != FanChoice::Mode::None;
    if (minimum) *minimum = known ? fanMinimum_ : 0;
    if (maximum) *maximum = known ? fanMaximum_ : 0;
}

void HDDDaemon::writeFanSpeed() {
    hardware_.writeSmcFanSpeed(fanMinimumKey_.c_str(), currentRpm_);
    // In floor mode the maximum is the SMC's: it may still run the fan faster.
    if (fan_.mode == FanChoice::Mode::Forced) {
        hardware_.writeSmcFanSpeed(fanMaximumKey_.c_str(), currentRpm_);
    }
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
    if (!fanChosen_ || fanChoiceStale_) {
        chooseFanWhileOpen();
    } else if (fan_.mode != FanChoice::Mode::None && !fanRangeKnown_) {
        readFanRange();
    }

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

    const bool driving = fan_.mode != FanChoice::Mode::None && fanRangeKnown_;
    if (driving) {
        // Whatever the settings ask, the fan is only ever sent a speed it takes as its own. The
        // ramp goes on from there: after a wild base speed it starts from the end of the range,
        // not from the setting.
        currentRpm_ = std::clamp(currentRpm_, fanMinimum_, fanMaximum_);
        if (currentRpm_ != before && log::enabled(log::Level::Debug)) {
            log::debug(kTag,
                       {{"MESSAGE_ID", kChangeMessageId},
                        {"FAN", fan_.index},
                        {"COMMANDED_RPM", currentRpm_},
                        {"TARGET_RPM", targetRpm_}},
                       "fan %d commanded %d rpm", fan_.index, currentRpm_);
        }
        writeFanSpeed();
    }
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
        temp_ = readDrive();
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
        const bool fromDisk = disk_ && source == disk_->c_str();
        // "disk0 (attribute 190)": which of the drive's records gave the reading.
        std::string from = source;
        if (const std::string record = fromDisk ? hardware_.driveTemperatureSource() : "";
            !record.empty())
            from += " (" + record + ")";
        log::info(kTag,
                  {{"MESSAGE_ID", kCheckMessageId},
                   {"TEMPERATURE_CELSIUS", temp_},
                   {"TEMPERATURE_SOURCE", fromDisk ? "disk" : "sensors"},
                   {"DRIVE", disk_.value_or("")},
                   {"DRIVE_MODEL", HDDName_.value_or("")},
                   {"TARGET_RPM", targetRpm_},
                   {"NO_READING_COUNT", noReadCount_}},
                  "check: %.2f °C from %s, target %d rpm%s", temp_, from.c_str(), targetRpm_,
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

double HDDDaemon::readDrive() {
    const double t = hardware_.readDriveTemperature(disk_->c_str());
    if (t > 0.0) {
        unansweredDisk_.reset();
    } else {
        unansweredDisk_ = disk_;
    }
    return t;
}

double HDDDaemon::measureForQuery() {
    getDisk();
    if (disk_ && !useAmbientTemp_ && disk_ != unansweredDisk_) {
        temp_ = readDrive();
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
            // From the end of the read: a read that took longer than the interval must not let
            // the next query read again at once.
            lastFreshQuery_ = clock_.now();
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
    if (!fanChosen_) chooseFanWhileOpen();
    *fanRpm =
        fan_.mode == FanChoice::Mode::None ? -1 : hardware_.readSmcFanSpeed(fanActualKey_.c_str());
    hardware_.closeSmcConnection();
}

}  // namespace drivetherm
