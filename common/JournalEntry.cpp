// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/JournalEntry.h"

#include <sys/stat.h>
#include <sys/uio.h>
// Without this every entry would name the one line below that sends it as its source.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace drivetherm {

JournalEntry::JournalEntry(log::Level level, std::string_view tag, std::string_view message) {
    // The same text as the line on standard error, so the two read alike.
    std::string text = "MESSAGE=";
    text.append(tag).append(": ").append(message);
    fields_.push_back(std::move(text));
    fields_.push_back("PRIORITY=" + std::to_string(priority(level)));
    // Sent through the protocol the journal cannot take the name from the stream's unit.
    fields_.push_back(std::string("SYSLOG_IDENTIFIER=") + program_invocation_short_name);
}

JournalEntry& JournalEntry::add(std::string_view name, std::string_view value) {
    if (value.empty()) return *this;
    std::string field(name);
    field.append("=").append(value);
    fields_.push_back(std::move(field));
    return *this;
}

bool JournalEntry::send() const {
    std::vector<iovec> vector;
    vector.reserve(fields_.size());
    for (const std::string& field : fields_) {
        vector.push_back({const_cast<char*>(field.data()), field.size()});
    }
    return sd_journal_sendv(vector.data(), static_cast<int>(vector.size())) >= 0;
}

int JournalEntry::priority(log::Level level) {
    switch (level) {
        case log::Level::Debug:
            return 7;  // LOG_DEBUG
        case log::Level::Info:
            return 6;  // LOG_INFO
        case log::Level::Warning:
            return 4;  // LOG_WARNING
        case log::Level::Error:
            return 3;  // LOG_ERR
    }
    return 6;
}

bool JournalEntry::stderrIsJournal() {
    struct stat status {};
    if (::fstat(STDERR_FILENO, &status) != 0) return false;
    return isJournalStream(std::getenv("JOURNAL_STREAM"), status.st_dev, status.st_ino);
}

bool JournalEntry::isJournalStream(const char* journalStream, dev_t device, ino_t inode) {
    if (!journalStream) return false;
    const std::string_view text(journalStream);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    unsigned long long streamDevice = 0;
    unsigned long long streamInode = 0;
    const char* end = text.data() + text.size();
    const auto [deviceEnd, deviceError] =
        std::from_chars(text.data(), text.data() + colon, streamDevice);
    const auto [inodeEnd, inodeError] = std::from_chars(text.data() + colon + 1, end, streamInode);
    if (deviceError != std::errc() || deviceEnd != text.data() + colon ||
        inodeError != std::errc() || inodeEnd != end || colon == 0 || colon + 1 == text.size()) {
        return false;
    }
    return streamDevice == static_cast<unsigned long long>(device) &&
           streamInode == static_cast<unsigned long long>(inode);
}

}  // namespace drivetherm
