// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/PlistPreferenceStore.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/Log.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "settings";

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads the whole file; errno is kept on failure.
bool readFile(const std::string& path, std::string& out, bool& exists, std::size_t limit) {
    exists = false;
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    if (file.fd < 0) {
        if (errno == ENOENT) return true;
        exists = true;
        return false;
    }
    exists = true;
    char buffer[8192];
    out.clear();
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > limit) {
            errno = EFBIG;
            return false;
        }
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

plist_t toNode(const PreferenceValue& value) {
    switch (value.index()) {
        case 0:
            return plist_new_uint(static_cast<std::uint64_t>(std::get<std::int64_t>(value)));
        case 1:
            return plist_new_real(std::get<double>(value));
        case 2:
            return plist_new_bool(std::get<bool>(value) ? 1 : 0);
        default:
            return plist_new_string(std::get<std::string>(value).c_str());
    }
}

}  // namespace

PlistPreferenceStore::PlistPreferenceStore(std::string stateDirectory, std::string domain,
                                           std::vector<std::string> keyOrder)
    : directory_(std::move(stateDirectory)),
      path_(directory_ + "/" + domain + ".plist"),
      keyOrder_(std::move(keyOrder)) {
    load();
    if (!dict_) dict_ = plist_new_dict();
}

PlistPreferenceStore::~PlistPreferenceStore() {
    if (dict_) plist_free(dict_);
}

void PlistPreferenceStore::load() {
    std::string bytes;
    if (!readFile(path_, bytes, fileExists_, kLargestFile)) {
        setAside(std::strerror(errno));
        return;
    }
    if (!fileExists_) return;

    plist_t root = nullptr;
    if (!bytes.empty())
        plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        if (root) plist_free(root);
        setAside("not a property list of settings");
        return;
    }
    dict_ = root;
    onDisk_ = std::move(bytes);
}

void PlistPreferenceStore::setAside(const char* why) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);

    // Never replace an older broken copy: the user may still want it.
    for (int n = 0; n < 100; ++n) {
        std::string target = path_;
        target.append(".broken-").append(stamp);
        if (n > 0) target.append("-").append(std::to_string(n));
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            setAsidePath_ = target;
            log::error(kTag, "%s: %s; using the default settings (the old file is kept as %s)",
                       path_.c_str(), why, target.c_str());
            fileExists_ = false;
            return;
        }
        if (errno != EEXIST) break;
    }
    log::error(kTag, "%s: %s; using the default settings (the file could not be moved aside: %s)",
               path_.c_str(), why, std::strerror(errno));
}

std::optional<PreferenceValue> PlistPreferenceStore::copyValue(std::string_view key) {
    const std::string name(key);
    plist_t node = plist_dict_get_item(dict_, name.c_str());
    if (!node) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_UINT: {
            std::uint64_t v = 0;
            plist_get_uint_val(node, &v);
            return PreferenceValue(static_cast<std::int64_t>(v));
        }
        case PLIST_REAL: {
            double v = 0;
            plist_get_real_val(node, &v);
            return PreferenceValue(v);
        }
        case PLIST_BOOLEAN: {
            std::uint8_t v = 0;
            plist_get_bool_val(node, &v);
            return PreferenceValue(v != 0);
        }
        case PLIST_STRING: {
            char* v = nullptr;
            plist_get_string_val(node, &v);
            std::string s = v ? v : "";
            std::free(v);
            return PreferenceValue(std::move(s));
        }
        default:
            // Kept in the file, but no setting is of this kind: reads as a string of nothing so
            // the caller names the key as holding the wrong kind.
            return PreferenceValue(std::string());
    }
}

void PlistPreferenceStore::setValue(std::string_view key, PreferenceValue value) {
    const std::string name(key);
    plist_dict_set_item(dict_, name.c_str(), toNode(value));
}

void PlistPreferenceStore::removeValue(std::string_view key) {
    const std::string name(key);
    if (plist_dict_get_item(dict_, name.c_str())) plist_dict_remove_item(dict_, name.c_str());
}

std::string PlistPreferenceStore::serialize() const {
    // Known keys first, in their order; anything else after, as it was.
    plist_t ordered = plist_new_dict();
    for (const std::string& key : keyOrder_) {
        if (plist_t node = plist_dict_get_item(dict_, key.c_str())) {
            plist_dict_set_item(ordered, key.c_str(), plist_copy(node));
        }
    }
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict_, &it);
    for (;;) {
        char* key = nullptr;
        plist_t node = nullptr;
        plist_dict_next_item(dict_, it, &key, &node);
        if (!key) break;
        if (!plist_dict_get_item(ordered, key)) plist_dict_set_item(ordered, key, plist_copy(node));
        std::free(key);
    }
    std::free(it);

    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(ordered, &xml, &length);
    std::string bytes(xml ? xml : "", length);
    plist_to_xml_free(xml);
    plist_free(ordered);
    return bytes;
}

bool PlistPreferenceStore::synchronize() {
    const std::string bytes = serialize();
    if (fileExists_ && bytes == onDisk_) return true;  // nothing changed: leave the disk alone
    if (!writeAtomically(bytes)) return false;
    onDisk_ = bytes;
    fileExists_ = true;
    if (failing_) log::info(kTag, "%s: settings stored again", path_.c_str());
    failing_ = false;
    return true;
}

bool PlistPreferenceStore::writeAtomically(const std::string& bytes) {
    std::string temporary = path_ + ".XXXXXX";
    const char* step = "create a temporary file";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    bool ok = fd >= 0;
    if (ok) {
        step = "write";
        ok = writeAll(fd, bytes);
        if (ok) {
            step = "set the permissions of";
            ok = ::fchmod(fd, 0644) == 0;
        }
        if (ok) {
            step = "flush";
            ok = ::fsync(fd) == 0;
        }
        const int savedErrno = errno;
        if (::close(fd) != 0 && ok) {
            step = "close";
            ok = false;
        } else {
            errno = savedErrno;
        }
        if (ok) {
            step = "replace";
            ok = ::rename(temporary.c_str(), path_.c_str()) == 0;
        }
        if (!ok) {
            const int e = errno;
            ::unlink(temporary.c_str());
            errno = e;
        }
    }
    if (ok) {
        // The rename itself must reach the disk, or a power cut can bring the old file back.
        FdCloser dir{::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (dir.fd >= 0) ::fsync(dir.fd);
        return true;
    }
    if (!failing_) {
        log::error(kTag,
                   "cannot %s %s: %s; the settings stay in memory and are written at the next "
                   "store (check that %s exists and is writable by the daemon)",
                   step, path_.c_str(), std::strerror(errno), directory_.c_str());
    }
    failing_ = true;
    return false;
}

}  // namespace drivetherm
