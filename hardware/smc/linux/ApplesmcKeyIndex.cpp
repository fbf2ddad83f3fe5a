// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/linux/ApplesmcKeyIndex.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/Log.h"
#include "hardware/smc/SmcCodec.h"

namespace drivetherm {
namespace {

// How often a select-and-read group is repeated when another process keeps moving the
// driver's selector before giving up.
constexpr int kSelectionAttempts = 3;

bool parseDecimal(const std::string& text, std::uint32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 10);
    if (end == text.c_str() || (*end != '\0' && *end != '\n') || parsed > 0xFFFFFFFFul)
        return false;
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

std::uint32_t codeOf(std::string_view name) {
    char text[5] = {};
    std::memcpy(text, name.data(), std::min<std::size_t>(name.size(), 4));
    return packSmcCode(text);
}

}  // namespace

ApplesmcKeyIndex::ApplesmcKeyIndex(ApplesmcFiles& files, std::string deviceDir)
    : files_(files), dir_(std::move(deviceDir)) {}

kern_return_t ApplesmcKeyIndex::readText(const char* attribute, std::string& text) {
    char buffer[64];
    const long count = files_.readFile(path(attribute), buffer, sizeof buffer);
    if (count < 0) return applesmcStatus(count);
    text.assign(buffer, static_cast<std::size_t>(count));
    // Only the line break goes: a type such as "ui8 " keeps its blank.
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return kIOReturnSuccess;
}

kern_return_t ApplesmcKeyIndex::readKeyCount(std::uint32_t& count) {
    std::string text;
    const kern_return_t status = readText("key_count", text);
    if (status != kIOReturnSuccess) return status;
    if (!parseDecimal(text, count)) return kIOReturnIOError;
    count_ = count;
    return kIOReturnSuccess;
}

kern_return_t ApplesmcKeyIndex::select(std::uint32_t index) {
    return applesmcStatus(files_.writeFile(path("key_at_index"), std::to_string(index)));
}

bool ApplesmcKeyIndex::selectionStill(std::uint32_t index) {
    std::string text;
    std::uint32_t selected = 0;
    return readText("key_at_index", text) == kIOReturnSuccess && parseDecimal(text, selected) &&
           selected == index;
}

kern_return_t ApplesmcKeyIndex::readEntry(std::uint32_t index, std::string_view wanted,
                                          Entry& entry, bool& matched) {
    std::lock_guard<std::mutex> lock(selector_);
    for (int attempt = 0; attempt < kSelectionAttempts; ++attempt) {
        kern_return_t status = select(index);
        if (status != kIOReturnSuccess) return status;
        if ((status = readText("key_at_index_name", entry.name)) != kIOReturnSuccess) return status;
        matched = wanted.empty() || entry.name == wanted;
        if (matched) {
            std::string size;
            if ((status = readText("key_at_index_type", entry.type)) != kIOReturnSuccess)
                return status;
            if ((status = readText("key_at_index_data_length", size)) != kIOReturnSuccess)
                return status;
            if (!parseDecimal(size, entry.size)) return kIOReturnIOError;
        }
        if (selectionStill(index)) return kIOReturnSuccess;
    }
    log::warning("smc",
                 "the applesmc key selector kept changing under us (another program reads keys)");
    return kIOReturnExclusiveAccess;
}

kern_return_t ApplesmcKeyIndex::find(std::string_view name, const ApplesmcKeyInfo*& info) {
    info = nullptr;
    if (const auto known = known_.find(name); known != known_.end()) {
        if (known->second) info = &*known->second;
        return kIOReturnSuccess;
    }
    std::uint32_t count = 0;
    if (count_) {
        count = *count_;
    } else if (const kern_return_t status = readKeyCount(count); status != kIOReturnSuccess) {
        return status;
    }

    // The SMC keeps its keys sorted by their packed code.
    const std::uint32_t wanted = codeOf(name);
    std::uint32_t low = 0;
    std::uint32_t high = count;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        Entry entry;
        bool matched = false;
        const kern_return_t status = readEntry(middle, name, entry, matched);
        if (status != kIOReturnSuccess) return status;
        if (matched) {
            auto& slot = known_[std::string(name)];
            slot = ApplesmcKeyInfo{entry.name, middle, entry.type, entry.size};
            info = &*slot;
            return kIOReturnSuccess;
        }
        if (codeOf(entry.name) < wanted) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    known_[std::string(name)] = std::nullopt;
    return kIOReturnSuccess;
}

kern_return_t ApplesmcKeyIndex::nameAt(std::uint32_t index, std::string& name) {
    Entry entry;
    bool matched = false;
    const kern_return_t status = readEntry(index, {}, entry, matched);
    if (status != kIOReturnSuccess) return status;
    name = entry.name;
    if (name.size() == 4 && known_.find(name) == known_.end()) {
        known_[name] = ApplesmcKeyInfo{entry.name, index, entry.type, entry.size};
    }
    return kIOReturnSuccess;
}

kern_return_t ApplesmcKeyIndex::readData(const ApplesmcKeyInfo& info, std::uint8_t* bytes) {
    // No SMC value is longer than the record's 32 bytes; a longer length is a broken answer.
    if (info.size > 32) return kIOReturnIOError;
    std::lock_guard<std::mutex> lock(selector_);
    for (int attempt = 0; attempt < kSelectionAttempts; ++attempt) {
        const kern_return_t status = select(info.index);
        if (status != kIOReturnSuccess) return status;
        char buffer[33];
        const long count = files_.readFile(path("key_at_index_data"), buffer, sizeof buffer);
        if (count < 0) return applesmcStatus(count);
        if (!selectionStill(info.index)) continue;
        if (static_cast<std::uint32_t>(count) != info.size) return kIOReturnIOError;
        std::memcpy(bytes, buffer, static_cast<std::size_t>(count));
        return kIOReturnSuccess;
    }
    log::warning("smc",
                 "the applesmc key selector kept changing under us (another program reads keys)");
    return kIOReturnExclusiveAccess;
}

}  // namespace drivetherm
