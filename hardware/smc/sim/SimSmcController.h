// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/IOReturn.h"
#include "hardware/smc/SmcParamRecord.h"

namespace drivetherm {

// A System Management Controller that exists only in memory: a sorted list of keys (name, type,
// value bytes) answering the parameter-record commands 9, 5, 6 and 8 as a real controller does,
// with faults that a test or a machine file can inject. The machine file's "smc" member describes
// one (hardware/machine, docs/machine-file.md). Used from one thread.
class SimSmcController {
public:
    // How opening a connection to the controller fails, if it does.
    enum class OpenFault { None, MatchingFailed, NoService, OpenFailed };

    SimSmcController() = default;

    // One exchange of the parameter-record protocol.
    kern_return_t exchange(const SmcParamRecord& request, SmcParamRecord& reply);

    // The key as a read sees it: kIOReturnSuccess when it exists, kIOReturnNotFound otherwise.
    kern_return_t readKey(std::string_view key, std::string& type,
                          std::vector<std::uint8_t>& bytes) const;

    // Sets an "sp78" temperature key; false (nothing changed) for a missing key or another type.
    bool setSensorTemperature(std::string_view key, double celsius);
    // The °C of an "sp78" key as readSmcTemperature decodes it; 0.0 when it is not one.
    double sensorTemperature(std::string_view key) const;

    // Fans as the "F%d.." keys hold them, in whole rpm; -1 for a fan or key that does not exist.
    int fanCount() const;
    int fanMinimum(int fan) const;
    int fanMaximum(int fan) const;
    int fanTarget(int fan) const;
    int fanActual(int fan) const;
    // Bit `fan` of the "FS! " mask: the fan is held at its target instead of the SMC's own
    // control.
    bool fanForced(int fan) const;
    // What the fan's tachometer reports ("F%dAc"); the thermal model moves it. Not counted as a
    // write.
    void setFanActual(int fan, int rpm);

    // Accepted command-6 writes to `key`, and all exchanges so far (both for tests).
    int writeCount(std::string_view key) const;
    int exchangeCount() const { return exchanges_; }

    void setOpenFault(OpenFault fault) { openFault_ = fault; }
    OpenFault openFault() const { return openFault_; }
    // While set, every exchange fails with kIOReturnNotResponding.
    void setExchangeFault(bool failing) { exchangeFault_ = failing; }
    bool exchangeFault() const { return exchangeFault_; }

    // Adds a key or replaces the one of that name, keeping index order. For building controllers
    // in tests; "#KEY" is kept equal to the number of keys.
    void setKey(std::string_view key, std::string_view type, std::vector<std::uint8_t> bytes);
    std::size_t keyCount() const { return keys_.size(); }

private:
    struct Key {
        std::uint32_t code;
        std::string name;
        std::string type;
        std::vector<std::uint8_t> bytes;
        int writes = 0;
    };

    const Key* find(std::uint32_t code) const;
    Key* find(std::uint32_t code);
    const Key* find(std::string_view key) const;
    int fanSpeed(int fan, const char* suffix) const;
    void updateKeyCount();

    std::vector<Key> keys_;  // sorted by code: the controller's index order
    OpenFault openFault_ = OpenFault::None;
    bool exchangeFault_ = false;
    int exchanges_ = 0;
};

}  // namespace drivetherm
