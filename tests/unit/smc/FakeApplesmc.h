// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drivetherm::testing {

// One key of a fake SMC, as a fixture's key list gives it.
struct FakeSmcKey {
    std::string name;
    std::string type;
    std::vector<std::uint8_t> bytes;
};

// Reads a key list (tests/data/smc/*.keys). One key a line, in fixed columns so that blanks in
// names and types survive: the key in columns 1-4, its type in 6-9, then its value as
// "rpm 1100" (fpe2), "celsius -7.0" (sp78), "uint 3" (ui8 /ui16/ui32), "text HDD" ({fds: the
// name from the fifth byte) or "hex f940". Lines starting with "# " are comments. "#KEY" is
// added; the result is in the SMC's index order. Throws std::runtime_error on a bad line.
std::vector<FakeSmcKey> loadFakeKeyList(const std::string& path);

// Writes the attribute files the applesmc driver would show for these keys into `deviceDir`
// (fanN_*, tempN_*, key_count, name, and placeholders for the key_at_index files).
void writeApplesmcTree(const std::vector<FakeSmcKey>& keys, const std::string& deviceDir);

// The driver's `key_at_index` selector over a fake tree: writes to `key_at_index` select a key,
// reads of `key_at_index_name`, `_type`, `_data_length` and `_data` answer for it. A key with a
// dedicated file in the tree (fan speeds, temperatures, the fanN_manual bits of "FS! ") answers
// with what that file holds now, as one SMC behind both would; while the file still shows the
// key's value, with the key's own bytes, fraction bits included, as the driver's data file does.
class FakeApplesmcSelection {
public:
    FakeApplesmcSelection(std::vector<FakeSmcKey> keys, std::string deviceDir);

    // Whether `path` is one of the selector's files of this device.
    bool handles(std::string_view path) const;
    // 0, or -errno as the driver answers.
    int write(std::string_view path, std::string_view text);
    long read(std::string_view path, char* buffer, std::size_t capacity) const;

    std::uint32_t selected() const { return selected_; }

private:
    std::vector<std::uint8_t> liveBytes(const FakeSmcKey& key) const;
    std::optional<long> readNumber(const std::string& file) const;

    std::vector<FakeSmcKey> keys_;
    std::string dir_;
    std::uint32_t selected_ = 0;
};

}  // namespace drivetherm::testing
