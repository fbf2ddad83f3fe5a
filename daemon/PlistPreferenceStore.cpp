// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/PlistPreferenceStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <plist/plist.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

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

// Reads what `fd` holds, up to `limit` bytes; errno is kept on failure.
bool readAll(int fd, std::string& out, std::size_t limit) {
    char buffer[8192];
    out.clear();
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
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

// What a file that is not a regular file is, for the line that sets it aside.
const char* whatItIs(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a regular file";
    if (S_ISLNK(mode)) return "a symbolic link, not a regular file";
    if (S_ISDIR(mode)) return "a directory, not a regular file";
    return "not a regular file";
}

// The characters mkstemp fills its six X with; the store names its temporary files alike.
constexpr std::string_view kNameCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kSuffixLength = 6;

// "<file>." and six of those characters: one of the store's own temporary files.
bool isTemporaryOf(std::string_view name, std::string_view file) {
    if (name.size() != file.size() + 1 + kSuffixLength || !name.starts_with(file) ||
        name[file.size()] != '.')
        return false;
    const std::string_view suffix = name.substr(file.size() + 1);
    return suffix.find_first_not_of(kNameCharacters) == std::string_view::npos;
}

std::string randomSuffix() {
    unsigned char bytes[kSuffixLength] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // No entropy yet, early at boot: any name will do, a taken one is tried again.
        static unsigned counter = 0;
        const auto seed = static_cast<unsigned>(::getpid()) * 2654435761u ^
                          static_cast<unsigned>(std::time(nullptr)) ^ ++counter * 40503u;
        for (std::size_t i = 0; i < kSuffixLength; ++i) bytes[i] = (seed >> (i * 5)) & 0xff;
    }
    std::string suffix;
    for (unsigned char b : bytes) suffix += kNameCharacters[b % kNameCharacters.size()];
    return suffix;
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// The text of an <integer> as a 64-bit integer: an optional sign and decimal digits only.
std::optional<std::int64_t> integerOf(const std::string& text) {
    const std::string t = trimmed(text);
    const std::size_t digits = t.empty() || (t[0] != '-' && t[0] != '+') ? 0 : 1;
    if (t.size() == digits || t.find_first_not_of("0123456789", digits) != std::string::npos)
        return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(t.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return value;
}

// The text of a <real>, all of it a number ("nan" and "+infinity" included, as written).
std::optional<double> realOf(const std::string& text) {
    const std::string t = trimmed(text);
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return std::nullopt;
    return value;
}

// The text of every <integer> and <real> directly in the top dictionary of an XML property
// list, by key, the last of a key winning as it does in the parsed dictionary. libplist reads
// <integer>abc</integer> as 0 and 18446744073709551615 as -1 without a word, so the store looks
// at the text itself. Anything it cannot follow ends the scan; what was found stands.
std::map<std::string, UnreadableNumber> numberTextsOf(std::string_view xml) {
    std::map<std::string, UnreadableNumber> numbers;
    std::vector<std::string> open;
    std::optional<std::string> key;
    std::size_t i = 0;
    const auto skipPast = [&](std::string_view end) {
        const std::size_t at = xml.find(end, i);
        i = at == std::string_view::npos ? xml.size() : at + end.size();
    };
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = xml.substr(i);
        if (rest.starts_with("<!--")) {
            skipPast("-->");
            continue;
        }
        if (rest.starts_with("<?")) {
            skipPast("?>");
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            skipPast("]]>");
            continue;
        }
        if (rest.starts_with("<!")) {  // the document type, perhaps with a subset in brackets
            const std::size_t bracket = xml.find('[', i);
            const std::size_t close = xml.find('>', i);
            if (bracket != std::string_view::npos && bracket < close) {
                skipPast("]");
            }
            skipPast(">");
            continue;
        }
        const std::size_t close = xml.find('>', i);
        if (close == std::string_view::npos) break;
        const std::string_view tag = xml.substr(i + 1, close - i - 1);
        i = close + 1;
        if (tag.starts_with('/')) {
            if (!open.empty()) open.pop_back();
            continue;
        }
        const bool empty = tag.ends_with('/');
        const std::string name(tag.substr(0, tag.find_first_of(" \t\r\n/")));
        const bool inTopDictionary =
            (open.size() == 2 && open[0] == "plist" && open[1] == "dict") ||
            (open.size() == 1 && open[0] == "dict");
        if (inTopDictionary) {
            if (name == "key") {
                key = std::string();
                if (!empty) {
                    const std::size_t end = xml.find("</key>", i);
                    if (end == std::string_view::npos) break;
                    key = std::string(xml.substr(i, end - i));
                    i = end + 6;
                }
                continue;
            }
            if (key) {
                if (name == "integer" || name == "real") {
                    std::string text;
                    if (!empty) {
                        const std::size_t end = xml.find("</", i);
                        if (end == std::string_view::npos) break;
                        text = std::string(xml.substr(i, end - i));
                    }
                    numbers[*key] = {name, std::move(text)};
                } else {
                    numbers.erase(*key);
                }
                key.reset();
            }
        }
        if (!empty) open.push_back(name);
    }
    return numbers;
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
        case 3:
            return plist_new_string(std::get<std::string>(value).c_str());
        default:
            // Never set by the daemon; kept as the text it was.
            return plist_new_string(std::get<UnreadableNumber>(value).text.c_str());
    }
}

bool sameFile(const struct stat& st, dev_t device, ino_t inode, off_t size,
              const timespec& modified) {
    return st.st_dev == device && st.st_ino == inode && st.st_size == size &&
           st.st_mtim.tv_sec == modified.tv_sec && st.st_mtim.tv_nsec == modified.tv_nsec;
}

}  // namespace

PlistPreferenceStore::PlistPreferenceStore(std::string stateDirectory, std::string domain,
                                           std::vector<std::string> keyOrder)
    : directory_(std::move(stateDirectory)),
      fileName_(domain + ".plist"),
      path_(directory_ + "/" + fileName_),
      keyOrder_(std::move(keyOrder)) {
    removeStaleTemporaries();
    load();
    if (!dict_) dict_ = plist_new_dict();
}

PlistPreferenceStore::~PlistPreferenceStore() {
    if (dict_) plist_free(dict_);
}

void PlistPreferenceStore::removeStaleTemporaries() {
    DIR* dir = ::opendir(directory_.c_str());
    if (!dir) return;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryOf(entry->d_name, fileName_)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) {
            ++removed;
        } else {
            log::warning(kTag, "%s/%s: %s; a temporary file of an interrupted store stays",
                         directory_.c_str(), entry->d_name, std::strerror(errno));
        }
    }
    ::closedir(dir);
    if (removed > 0) {
        log::info(kTag, "%s: removed %d temporary file%s left by an interrupted store",
                  directory_.c_str(), removed, removed == 1 ? "" : "s");
    }
}

void PlistPreferenceStore::load() {
    // Only a regular file is read, and it is opened without blocking: a FIFO in its place would
    // otherwise hold the start in open() until something writes to it.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT) setAside(std::strerror(errno));
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        setAside(whatItIs(st.st_mode));
        return;
    }
    FdCloser file{::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
    if (file.fd < 0) {
        if (errno != ENOENT) setAside(std::strerror(errno));
        return;
    }
    if (::fstat(file.fd, &st) != 0) {
        setAside(std::strerror(errno));
        return;
    }
    if (!S_ISREG(st.st_mode)) {  // replaced since the look above
        setAside(whatItIs(st.st_mode));
        return;
    }
    std::string bytes;
    if (!readAll(file.fd, bytes, kLargestFile)) {
        setAside(std::strerror(errno));
        return;
    }
    const Stamp read{st.st_dev, st.st_ino, st.st_size, st.st_mtim};

    plist_t root = nullptr;
    if (!bytes.empty())
        plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        if (root) plist_free(root);
        setAside("not a property list of settings");
        return;
    }
    dict_ = root;
    if (!bytes.starts_with("bplist")) numberTexts_ = numberTextsOf(bytes);
    onDisk_ = std::move(bytes);
    stamp_ = read;
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
            // The number as written, when the file's text is at hand: libplist reads 2^64 - 1
            // as -1 and "abc" as 0.
            if (const auto text = numberTexts_.find(name);
                text != numberTexts_.end() && text->second.element == "integer") {
                if (const auto v = integerOf(text->second.text)) return PreferenceValue(*v);
                return PreferenceValue(text->second);
            }
            std::uint64_t v = 0;
            plist_get_uint_val(node, &v);
            return PreferenceValue(static_cast<std::int64_t>(v));
        }
        case PLIST_REAL: {
            if (const auto text = numberTexts_.find(name); text != numberTexts_.end() &&
                                                           text->second.element == "real" &&
                                                           !realOf(text->second.text)) {
                return PreferenceValue(text->second);
            }
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
    numberTexts_.erase(name);
}

void PlistPreferenceStore::removeValue(std::string_view key) {
    const std::string name(key);
    if (plist_dict_get_item(dict_, name.c_str())) plist_dict_remove_item(dict_, name.c_str());
    numberTexts_.erase(name);
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

bool PlistPreferenceStore::unchangedOnDisk() const {
    struct stat st {};
    return stamp_ && ::lstat(path_.c_str(), &st) == 0 &&
           sameFile(st, stamp_->device, stamp_->inode, stamp_->size, stamp_->modified);
}

bool PlistPreferenceStore::synchronize() {
    const std::string bytes = serialize();
    // Nothing changed, here or on disk: leave the disk alone.
    if (bytes == onDisk_ && unchangedOnDisk()) return true;
    return write(bytes);
}

bool PlistPreferenceStore::rewrite() {
    return write(serialize());
}

bool PlistPreferenceStore::write(const std::string& bytes) {
    Stamp stamp;
    if (!writeAtomically(bytes, stamp)) return false;
    onDisk_ = bytes;
    stamp_ = stamp;
    if (failing_) log::info(kTag, "%s: settings stored again", path_.c_str());
    failing_ = false;
    return true;
}

bool PlistPreferenceStore::linkTemporary(int fd, std::string& name) const {
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = path_ + "." + randomSuffix();
        int r = ::linkat(AT_FDCWD, byDescriptor.c_str(), AT_FDCWD, candidate.c_str(),
                         AT_SYMLINK_FOLLOW);
        // Without /proc, the descriptor itself (which takes a privilege root holds).
        if (r != 0 && errno == ENOENT)
            r = ::linkat(fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH);
        if (r == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool PlistPreferenceStore::writeAtomically(const std::string& bytes, Stamp& stamp) {
    const char* step = "create a temporary file";
    std::string temporary;  // its name, once it has one
    bool ok = false;
    // Unnamed until it is complete, so that a crash while writing leaves nothing behind. Where
    // the file system has no unnamed files, or one cannot be linked (no /proc), a named one from
    // the start, removed at the next start if a crash leaves it.
    for (const bool unnamed : {true, false}) {
        int fd = unnamed ? ::open(directory_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644) : -1;
        if (unnamed && fd < 0) {
            if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) continue;
            break;
        }
        if (!unnamed) {
            temporary = path_ + ".XXXXXX";
            fd = ::mkostemp(temporary.data(), O_CLOEXEC);
            if (fd < 0) {
                temporary.clear();
                break;
            }
        }
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
        struct stat st {};
        if (ok) {
            ok = ::fstat(fd, &st) == 0;
            stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
        }
        if (ok && unnamed && !linkTemporary(fd, temporary)) {
            ::close(fd);
            continue;
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
        if (!ok && !temporary.empty()) {
            const int e = errno;
            ::unlink(temporary.c_str());
            errno = e;
        }
        break;
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
