// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "daemon/PreferenceStore.h"

using plist_t = void*;

namespace drivetherm {

// The preference domain as an XML property list "<domain>.plist" in the daemon's state
// directory, readable by any property-list tool.
//
// The file is read once, at construction. A file that cannot be read or parsed gives an empty
// domain (so the defaults) and is renamed beside itself, never deleted, so the user can look at
// it. synchronize() writes atomically (a temporary file in the same directory, fsync, rename,
// fsync of the directory), so a crash or a full disk never leaves a truncated file, and does not
// touch the file when its bytes would not change. Keys the daemon does not know are kept.
class PlistPreferenceStore final : public PreferenceStore {
public:
    // `keyOrder`: the order in which known keys are written; other keys follow in file order.
    PlistPreferenceStore(std::string stateDirectory, std::string domain,
                         std::vector<std::string> keyOrder = {});
    ~PlistPreferenceStore() override;

    PlistPreferenceStore(const PlistPreferenceStore&) = delete;
    PlistPreferenceStore& operator=(const PlistPreferenceStore&) = delete;

    std::optional<PreferenceValue> copyValue(std::string_view key) override;
    void setValue(std::string_view key, PreferenceValue value) override;
    void removeValue(std::string_view key) override;
    bool synchronize() override;
    std::string location() const override { return path_; }

    // Where a broken file was moved at load, or empty.
    const std::string& setAsidePath() const { return setAsidePath_; }

    // Files larger than this are not settings written by the daemon; they are set aside.
    static constexpr std::size_t kLargestFile = 1 << 20;

private:
    void load();
    void setAside(const char* why);
    std::string serialize() const;
    bool writeAtomically(const std::string& bytes);

    std::string directory_;
    std::string path_;
    std::vector<std::string> keyOrder_;
    plist_t dict_ = nullptr;
    std::string onDisk_;  // the file's bytes as last read or written
    bool fileExists_ = false;
    bool failing_ = false;  // the last write failed; said once until one succeeds
    std::string setAsidePath_;
};

}  // namespace drivetherm
