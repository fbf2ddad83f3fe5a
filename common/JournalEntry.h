// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/Log.h"

namespace drivetherm {

// One log line as the journal's native protocol carries it: the text people read (MESSAGE),
// its priority, the program's name, and the line's own fields, which scripts select and read
// without parsing the text ("journalctl -o json", "journalctl TARGET_RPM=6000").
//
// Under systemd, standard error is already the journal, but as a plain stream: every line
// arrives at one priority and without fields. The log sends through this class instead when
// stderrIsJournal() says the stream is the journal's.
class JournalEntry {
public:
    JournalEntry(log::Level level, std::string_view tag, std::string_view message);

    // Adds NAME=value after the fields already there. An empty value is left out. `name` must
    // be a valid field name (log::FieldName checks the ones written in the code).
    JournalEntry& add(std::string_view name, std::string_view value);

    // Every field as "NAME=value": MESSAGE, PRIORITY and SYSLOG_IDENTIFIER, then the added ones.
    const std::vector<std::string>& fields() const { return fields_; }

    // Sends the entry to the journal; false when the journal did not take it.
    bool send() const;

    // The syslog priority of a level, as the journal's PRIORITY field gives it.
    static int priority(log::Level level);

    // True when this process's standard error is the journal's stream: systemd then sets
    // JOURNAL_STREAM to "DEVICE:INODE" of that stream. A program whose standard error was sent
    // elsewhere (a pipe, a file) inherits the variable but not the stream, hence the check.
    static bool stderrIsJournal();
    static bool isJournalStream(const char* journalStream, dev_t device, ino_t inode);

private:
    std::vector<std::string> fields_;
};

}  // namespace drivetherm
