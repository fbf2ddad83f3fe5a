// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace drivetherm::guest {

// The guest's window onto the emulated SMC itself, beside the kernel's driver: the SMC's own test
// port (an I/O port outside the driver's range) takes a line of text and answers it. What the SMC
// holds and every write it was sent are read here, never through the code under test.
class EmulatedSmc {
public:
    // One write the SMC was sent, as it saw it.
    struct Write {
        std::string key;
        std::vector<std::uint8_t> bytes;
        bool taken = true;  // false: the SMC refused it (a key it does not let be written)
    };
    // Exchanges since the last reset, by command.
    struct Counts {
        std::uint64_t reads = 0, writes = 0, byIndex = 0, types = 0, failed = 0;
        std::uint64_t total() const { return reads + writes + byIndex + types; }
    };

    // The port from DT_GUEST_SMC_CONTROL_PORT; opened with ioperm, so the checks run as root.
    EmulatedSmc();
    bool usable() const { return usable_; }

    // Every key back to the machine's table, logs and counts cleared, no fault.
    void reset();
    std::optional<std::vector<std::uint8_t>> bytesOf(const std::string& key);
    bool setBytes(const std::string& key, const std::vector<std::uint8_t>& bytes);
    // Every key with its present bytes.
    std::map<std::string, std::vector<std::uint8_t>> dump();
    // The writes since the previous call, in order; the SMC forgets them.
    std::vector<Write> takeWrites();
    Counts counts();
    // "none", "busy" (the status port shows busy, nothing is taken) or "error" (every command is
    // taken and then aborted without data).
    bool setFault(const std::string& fault);

    // The answer to one line, as the SMC gives it.
    std::string ask(const std::string& line);

private:
    unsigned port_ = 0;
    bool usable_ = false;
};

std::string hexOf(const std::vector<std::uint8_t>& bytes);
std::optional<std::vector<std::uint8_t>> bytesFromHex(const std::string& text);

}  // namespace drivetherm::guest
