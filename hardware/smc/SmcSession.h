// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "hardware/IOReturn.h"
#include "hardware/smc/SmcParamRecord.h"
#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/SmcValue.h"

namespace drivetherm {

// SMC key access over one driver: the connection, the read and write sequences of the parameter
// record, and the typed accessors the control loop uses. None of the key operations opens or
// closes the connection by itself, so callers bracket each use with openSmcConnection and
// closeSmcConnection. A session is meant for one thread at a time: a caller that uses it from
// several threads holds one lock across each whole open-use-close bracket.
class SmcSession {
public:
    // `driver` finds the SMC (nullptr: this machine has none); the caller keeps it alive for the
    // session's life. The three connection errors are printed on `messages`.
    explicit SmcSession(SmcDriver* driver, std::FILE* messages = stdout)
        : driver_(driver), messages_(messages) {}
    ~SmcSession();

    SmcSession(const SmcSession&) = delete;
    SmcSession& operator=(const SmcSession&) = delete;

    // Opens the connection. 0 on success; 1 on failure, after printing one of
    // "Error: IOServiceGetMatchingServices() = %08x", "Error: no SMC found" (also without a
    // driver) or "Error: IOServiceOpen() = %08x". A failed open leaves the connection as it was
    // (normally closed), so the exchanges that follow fail and the accessors report no reading.
    int openSmcConnection();

    // How the last open failed: NoService when there is no SMC at all, OpenFailed when it is
    // there but does not answer; Opened after a successful open.
    SmcOpenResult::Step lastOpenFailure() const { return lastFailure_; }

    // Whether a failed open prints its message again when the previous open failed the same way.
    // Yes by default; the daemon, which opens every second, says so once until the SMC is back.
    void setOpenReportsRepeats(bool repeat);

    // Closes the connection. Exchanges after the close fail with kIOReturnNotOpen, as they would
    // on a stale handle. Closing a closed connection is harmless.
    kern_return_t closeSmcConnection();

    // Exchanges one request record for one reply record; the status comes back unchanged.
    kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply);

    // Clears `value`, then reads the key's information (command 9) and bytes (command 5). A key
    // the SMC does not hold reads as size 0. On a failed exchange `value` holds only the key name.
    kern_return_t readSmcKey(const char* key, SmcValue& value);

    // Writes `value` (its keyName, valueSize and valueBytes) with command 6 after checking the
    // key's own size: kIOReturnError, and nothing written, when the sizes differ or the SMC does
    // not hold the key. Costs three exchanges.
    kern_return_t writeSmcKey(const SmcValue& value);

    // The number of keys ("#KEY"), 0 when it cannot be read.
    int readSmcKeyCount();

    // The key at `index` of the SMC's sorted key list (command 8), into `key` on success.
    kern_return_t readSmcKeyAtIndex(std::uint32_t index, char key[5]);

    // An "sp78" temperature in °C; 0.0 when the read fails, the key is missing or of another type.
    double readSmcTemperature(const char* key);

    // An "fpe2" fan speed in rpm; -1 when the read fails, the key is missing or of another type.
    int readSmcFanSpeed(const char* key);

    // Writes a two-byte "fpe2" fan speed. The speed is first held within 0..16383 rpm, what the
    // two bytes carry, so that a negative or huge speed can never wrap into a different one.
    kern_return_t writeSmcFanSpeed(const char* key, int rpm);

    // The number of fans ("FNum", unsigned; 0 when the SMC has no such key); -1 when the read
    // fails.
    int readSmcFanCount();

    // A fan's name: the text of "F%dID" from its fifth byte up to the first NUL, as the applesmc
    // driver's `fanN_label` shows it, without trailing blanks ("HDD", "Exhaust"); "" when the key
    // is missing or cannot be read.
    std::string readSmcFanLabel(int fan);

private:
    void report(const std::string& line);
    void reportOpenFailure(const char* call, kern_return_t status);

    SmcDriver* driver_;
    std::FILE* messages_;
    std::unique_ptr<SmcTransport> connection_;
    bool reportRepeats_ = true;
    SmcOpenResult::Step lastFailure_ = SmcOpenResult::Step::Opened;
    std::string lastReport_;  // the failure last printed, until an open succeeds
};

// The largest speed a two-byte "fpe2" value carries.
inline constexpr int kSmcMaxFpe2Rpm = 16383;

// The key of one of a fan's values: smcFanKey(1, "Mn") is "F1Mn". Fans are numbered from 0 to 9.
inline std::string smcFanKey(int fan, const char* suffix) {
    return "F" + std::to_string(fan) + suffix;
}

}  // namespace drivetherm
