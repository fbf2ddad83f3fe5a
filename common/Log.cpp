// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/Log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/JournalEntry.h"

namespace drivetherm::log {
namespace {

Level currentLevel = Level::Warning;

// Decided once: standard error does not change its destination while the program runs.
bool toJournal() {
    static const bool connected = JournalEntry::stderrIsJournal();
    return connected;
}

void vwrite(Level messageLevel, const char* tag, std::initializer_list<Field> fields,
            const char* format, va_list args) {
    if (!enabled(messageLevel)) return;
    char buffer[1024];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    write(messageLevel, tag, buffer, fields);
}

}  // namespace

Field::Field(FieldName name, double value) : name(name.c_str()) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    this->value = text;
}

void setLevel(Level level) {
    currentLevel = level;
}
Level level() {
    return currentLevel;
}
bool enabled(Level messageLevel) {
    return messageLevel >= currentLevel;
}

void write(Level messageLevel, std::string_view tag, std::string_view message,
           std::initializer_list<Field> fields) {
    if (!enabled(messageLevel)) return;
    if (toJournal()) {
        JournalEntry entry(messageLevel, tag, message);
        for (const Field& field : fields) entry.add(field.name, field.value);
        if (entry.send()) return;
        // The journal refused: the line still goes to standard error, which it reads as well.
    }
    std::string line;
    line.reserve(tag.size() + message.size() + 3);
    line.append(tag).append(": ").append(message).push_back('\n');
    // One fwrite per line so that lines of concurrent writers (tests) never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

#define DRIVETHERM_LOG_FUNCTION(name, lvl)                \
    void name(const char* tag, const char* format, ...) { \
        va_list args;                                     \
        va_start(args, format);                           \
        vwrite(lvl, tag, {}, format, args);               \
        va_end(args);                                     \
    }

DRIVETHERM_LOG_FUNCTION(debug, Level::Debug)
DRIVETHERM_LOG_FUNCTION(info, Level::Info)
DRIVETHERM_LOG_FUNCTION(warning, Level::Warning)
DRIVETHERM_LOG_FUNCTION(error, Level::Error)

#undef DRIVETHERM_LOG_FUNCTION

void debug(const char* tag, std::initializer_list<Field> fields, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vwrite(Level::Debug, tag, fields, format, args);
    va_end(args);
}

void info(const char* tag, std::initializer_list<Field> fields, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vwrite(Level::Info, tag, fields, format, args);
    va_end(args);
}

}  // namespace drivetherm::log
