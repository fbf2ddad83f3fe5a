// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "common/Clock.h"
#include "daemon/DaemonHardware.h"
#include "daemon/PreferenceStore.h"

namespace drivetherm {

// The fan-control daemon's one object. It owns every setting, runs the once-a-second control
// loop (timer) that holds fan 1 at a speed following the chosen disk's temperature, and answers
// the front ends' questions about temperature and fan speed.
//
// Single-threaded: the tick and every remote call run on the daemon's one event loop.
class HDDDaemon {
public:
    // Stored preference keys, in the order they are written.
    static constexpr const char* kBaseRpmKey = "baseRpm";
    static constexpr const char* kLowerThresholdKey = "lowerThreshold";
    static constexpr const char* kUpperThresholdKey = "upperThreshold";
    static constexpr const char* kFahrenheitKey = "fahrenheit";
    static constexpr const char* kPinToBaseKey = "pinToBase";
    static constexpr const char* kHDDNameKey = "HDDName";
    static constexpr const char* kUseAmbientTempKey = "useAmbientTemp";

    // The disk read when no drive is chosen or the chosen one is not found.
    static constexpr const char* kDefaultDisk = "disk0";
    // The highest speed the two-byte fan value carries; nothing above it is ever written.
    static constexpr int kHighestWritableRpm = 16383;
    // A fresh temperature query reads the drive at most this often; calls in between are
    // answered from the last fresh measurement, so a flood of queries cannot keep the disk busy.
    static constexpr std::chrono::seconds kFreshQueryInterval{5};

    // `clock` paces the fresh-query cache only; the loop itself counts ticks.
    HDDDaemon(DaemonHardware& hardware, PreferenceStore& store, Clock& clock = systemClock());

    // Settings: loading and storing.
    void readPreferences();
    void storePreferences();
    void writeValues();

    // Settings: accessors. Setters store what they are given, unchanged; every numeric and
    // boolean setter marks the settings dirty (needWrite), the drive name does not.
    int baseRpm() const { return baseRpm_; }
    void setBaseRpm(int value);
    float lowerThreshold() const { return lowerThreshold_; }
    void setLowerThreshold(float value);
    float upperThreshold() const { return upperThreshold_; }
    void setUpperThreshold(float value);
    bool fahrenheit() const { return fahrenheit_; }
    void setFahrenheit(bool value);
    bool pinToBase() const { return pinToBase_; }
    void setPinToBase(bool value);
    bool useAmbientTemp() const { return useAmbientTemp_; }
    void setUseAmbientTemp(bool value);
    const std::optional<std::string>& HDDName() const { return HDDName_; }
    void setHDDName(std::optional<std::string> value);

    // Disk selection.
    const std::optional<std::string>& oldHDDName() const { return oldHDDName_; }
    void setOldHDDName(std::optional<std::string> value) { oldHDDName_ = std::move(value); }
    const std::optional<std::string>& disk() const { return disk_; }
    void setDisk(std::optional<std::string> value) { disk_ = std::move(value); }
    void getDisk();
    std::optional<std::string> GetBSDNameForDriveName(const std::optional<std::string>& name);

    // The control loop.
    void timer();
    double getAvarageTemp();
    static std::map<std::string, std::string> getAllKeys();
    // A fresh measurement (the settings window's poll) and the last one (the tray's poll). Either
    // pointer may be null; nothing is read for a null pointer.
    void temperature(float* temperature, int* fanRpm);
    void lastTemperature(float* temperature, int* fanRpm);

    // The target speed of the curve for temperature `t` with the current settings. Equal
    // thresholds at `t`, and any non-finite input, give maxRpm: the safe side.
    int curveTarget(double t) const;

    // Loop state, for logging and tests.
    int maxRpm() const { return maxRpm_; }
    int currentRpm() const { return currentRpm_; }
    int targetRpm() const { return targetRpm_; }
    bool needWrite() const { return needWrite_; }
    int noReadCount() const { return noReadCount_; }
    int checkTempCount() const { return checkTempCount_; }
    double temp() const { return temp_; }

private:
    void checkTemperature();
    void readFanSpeed(int* fanRpm);
    double measureForQuery();

    DaemonHardware& hardware_;
    PreferenceStore& store_;
    Clock& clock_;

    int baseRpm_ = 1100;
    float lowerThreshold_ = 50.0f;
    float upperThreshold_ = 58.0f;
    int maxRpm_ = 6000;
    int currentRpm_ = 0;
    bool fahrenheit_ = false;
    bool needWrite_ = false;
    bool pinToBase_ = false;
    int noReadCount_ = 0;
    std::optional<std::string> HDDName_;
    std::optional<std::string> oldHDDName_;
    std::optional<std::string> disk_;
    int checkTempCount_ = 100;
    int targetRpm_ = 0;
    double temp_ = 0.0;
    bool useAmbientTemp_ = false;

    // The fresh-query cache: when the drive was last read for a query, and what it gave.
    std::optional<std::chrono::steady_clock::time_point> lastFreshQuery_;
    double lastFreshTemp_ = 0.0;
};

}  // namespace drivetherm
