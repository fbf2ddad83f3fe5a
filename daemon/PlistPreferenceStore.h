// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <sys/stat.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "daemon/PreferenceStore.h"

using plist_t = void*;

namespace drivetherm {

// The preference domain as an XML property list "<domain>.plist" in the daemon's state
// directory, readable by any property-list tool.
//
// The file is read once, at construction, and only if it is a regular file (opened without
// blocking: a FIFO or a device in its place is no settings file). A file that cannot be read or
// parsed gives an empty domain (so the defaults) and is renamed beside itself, never deleted, so
// the user can look at it. A number whose text is no number of its kind reads as an
// UnreadableNumber.
//
// synchronize() writes atomically: an unnamed temporary file in the same directory (O_TMPFILE),
// fsync, a link to a temporary name, rename over the file, fsync of the directory. A crash or a
// full disk never leaves a truncated file, and a crash leaves at most a named temporary file
// between link and rename, which the next start removes. It leaves the file alone when its bytes
// would not change and the file on disk is still the one last written or read (same inode,
// size and modification time); a file removed or replaced behind the store is written again.
// Keys the daemon does not know are kept.
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
    bool rewrite() override;
    std::string location() const override { return path_; }

    // Where a broken file was moved at load, or empty.
    const std::string& setAsidePath() const { return setAsidePath_; }

    // Files larger than this are not settings written by the daemon; they are set aside.
    static constexpr std::size_t kLargestFile = 1 << 20;

private:
    // What identifies the file as the store last wrote or read it.
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
    };

    void removeStaleTemporaries();
    void load();
    void setAside(const char* why);
    bool unchangedOnDisk() const;
    std::string serialize() const;
    bool write(const std::string& bytes);
    bool writeAtomically(const std::string& bytes, Stamp& stamp);
    bool linkTemporary(int fd, std::string& name) const;

    std::string directory_;
    std::string fileName_;
    std::string path_;
    std::vector<std::string> keyOrder_;
    plist_t dict_ = nullptr;
    // The text of the numbers directly in the file's dictionary, by key, as read; a key set
    // since is dropped.
    std::map<std::string, UnreadableNumber> numberTexts_;
    std::string onDisk_;          // the file's bytes as last read or written
    std::optional<Stamp> stamp_;  // the file as last read or written; none: not on disk
    bool failing_ = false;        // the last write failed; said once until one succeeds
    std::string setAsidePath_;
};

}  // namespace drivetherm
