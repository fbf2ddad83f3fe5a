// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "hardware/IOReturn.h"
#include "hardware/smc/linux/ApplesmcFiles.h"

namespace drivetherm {

// What the SMC says about one key: where it sits in the sorted key list, its type and size.
struct ApplesmcKeyInfo {
    std::string name;
    std::uint32_t index = 0;
    std::string type;  // four characters: "ui8 " keeps its blank
    std::uint32_t size = 0;
};

// The SMC's key list as the applesmc driver shows it: `key_count`, and the `key_at_index*`
// files behind one selector (`key_at_index`) that is a single global of the driver. Keys are
// found by binary search over the sorted list and remembered for the life of the process,
// absent keys included: a loaded SMC never gains or loses keys. Like the rest of the SMC layer it
// is used by one thread at a time; the lock only keeps each select-and-read group whole.
class ApplesmcKeyIndex {
public:
    ApplesmcKeyIndex(ApplesmcFiles& files, std::string deviceDir);

    // The number of keys, read from `key_count` (the open reads it to see the SMC answer).
    kern_return_t readKeyCount(std::uint32_t& count);

    // The key's information, or nullptr with kIOReturnSuccess when the SMC holds no such key.
    // A failed file operation gives its status and is not remembered.
    kern_return_t find(std::string_view name, const ApplesmcKeyInfo*& info);

    // The name of the key at `index`. Its type and size are read at the same selection and
    // remembered, so that reading the key next costs no search.
    kern_return_t nameAt(std::uint32_t index, std::string& name);

    // The key's raw bytes (exactly info.size of them) from `key_at_index_data`.
    kern_return_t readData(const ApplesmcKeyInfo& info, std::uint8_t* bytes);

private:
    struct Entry {
        std::string name;
        std::string type;
        std::uint32_t size = 0;
    };

    // Selects `index` and reads its name, and its type and size too when the name is `wanted`
    // (always when `wanted` is empty). Done under the lock, and checked afterwards by reading the
    // selector back, so that another process moving it in between is noticed and the group
    // repeated.
    kern_return_t readEntry(std::uint32_t index, std::string_view wanted, Entry& entry,
                            bool& matched);
    kern_return_t select(std::uint32_t index);
    kern_return_t readText(const char* attribute, std::string& text);
    bool selectionStill(std::uint32_t index);
    std::string path(const char* attribute) const { return dir_ + "/" + attribute; }

    ApplesmcFiles& files_;
    std::string dir_;
    std::mutex selector_;
    std::optional<std::uint32_t> count_;
    std::map<std::string, std::optional<ApplesmcKeyInfo>, std::less<>> known_;
};

}  // namespace drivetherm
