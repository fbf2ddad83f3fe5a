// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/Clock.h"
#include "daemon/DaemonHardware.h"
#include "daemon/FanChoice.h"
#include "daemon/PreferenceStore.h"

namespace drivetherm {

// What the drive-name setter and the settings file both accept as a drive name (a model
// string): at most bus::kLongestDriveName bytes of UTF-8 without control characters. `why` says
// what is wrong otherwise.
bool acceptableDriveName(std::string_view name, std::string& why);

// A threshold given as a double, kept as a float. Beyond the float's range it becomes an
// infinity rather than an undefined conversion; the loop treats either as "run at full".
float thresholdFromDouble(double value);

// The fan-control daemon's one object. It owns every setting, runs the once-a-second control
// loop (timer) that holds the disk's fan at a speed following the chosen disk's temperature, and
// answers the front ends' questions about temperature and fan speed.
//
// Which fan, and how, is chosen from the SMC's fans at start (FanChoice): the fan named HDD or
// fan 1, whose minimum and maximum are both held at the commanded speed; or the only fan of a
// one-fan Mac, whose minimum alone is raised. Every speed written lies inside the fan's own
// range, the limits the SMC reported before the daemon first wrote them.
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
    static constexpr const char* kFanIndexKey = "fanIndex";

    // The disk read when no drive is chosen or the chosen one is not found.
    static constexpr const char* kDefaultDisk = "disk0";
    // A fresh temperature query reads the drive at most this often, counted from the end of the
    // read; calls in between are answered from the last fresh measurement, so a flood of queries
    // cannot keep the disk busy. A drive that gave no reading at its last read is left to the
    // loop's own checks: the queries measure the sensors until it answers again, so a client
    // polling a drive that times out cannot hold the loop.
    static constexpr std::chrono::seconds kFreshQueryInterval{5};

    // `clock` paces the fresh-query cache only; the loop itself counts ticks.
    HDDDaemon(DaemonHardware& hardware, PreferenceStore& store, Clock& clock = systemClock());

    // Settings: loading and storing. A stored value the setters would not take (of the wrong
    // kind, out of range, a number that cannot be read, a drive name that is none) leaves that
    // setting at its default, with one line naming the file and the key. storePreferences writes
    // when something changed or the file is not the one last written; writeValues always writes.
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
    // -1: the fan is chosen by the fans' names; otherwise the SMC's index of the fan to drive.
    // A change hands the fan driven so far back to the SMC at the next tick and drives the new
    // choice from then on.
    int fanIndex() const { return fanIndex_; }
    void setFanIndex(int value);

    // The fan. chooseFan reads the SMC's fans and chooses the one to drive (it opens and closes
    // the connection); the loop and the queries choose on their own when that has not happened
    // yet or the SMC could not say how many fans it has.
    void chooseFan();
    const FanChoice& controlledFan() const { return fan_; }
    // The driven fan's own speed range in rpm; 0 and 0 while no fan is driven or its limits are
    // not known yet. Either pointer may be null.
    void fanRange(int* minimum, int* maximum) const;

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
    void putPreferences();
    void chooseFanWhileOpen();
    bool readFanRange();
    void noteBaseOutsideRange() const;
    void writeFanSpeed();
    void checkTemperature();
    void readFanSpeed(int* fanRpm);
    double measureForQuery();
    double readDrive();

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
    int fanIndex_ = -1;

    // The driven fan, its keys and its own range.
    FanChoice fan_;
    bool fanChosen_ = false;       // the SMC told its fans and one (or none) was chosen
    bool fanChoiceStale_ = false;  // the fan setting changed since
    std::string fanMinimumKey_, fanMaximumKey_, fanActualKey_;
    bool fanRangeKnown_ = false;
    int fanMinimum_ = 0;
    int fanMaximum_ = 0;
    // What was said once until it changes.
    bool saidFanCountUnreadable_ = false;
    bool saidFanLimitsUnreadable_ = false;

    // The fresh-query cache: when the drive was last read for a query, and what it gave.
    std::optional<std::chrono::steady_clock::time_point> lastFreshQuery_;
    double lastFreshTemp_ = 0.0;
    // The drive whose latest read gave no reading, if any.
    std::optional<std::string> unansweredDisk_;
};

}  // namespace drivetherm
