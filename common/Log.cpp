// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/Log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace drivetherm::log {
namespace {

Level currentLevel = Level::Warning;

void vwrite(Level messageLevel, const char* tag, const char* format, va_list args) {
    if (!enabled(messageLevel)) return;
    char buffer[1024];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    write(messageLevel, tag, buffer);
}

}  // namespace

void setLevel(Level level) { currentLevel = level; }
Level level() { return currentLevel; }
bool enabled(Level messageLevel) { return messageLevel >= currentLevel; }

void write(Level messageLevel, std::string_view tag, std::string_view message) {
    if (!enabled(messageLevel)) return;
    std::string line;
    line.reserve(tag.size() + message.size() + 3);
    line.append(tag).append(": ").append(message).push_back('\n');
    // One fwrite per line so that lines of concurrent writers (tests) never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
}

#define DRIVETHERM_LOG_FUNCTION(name, lvl)               \
    void name(const char* tag, const char* format, ...) { \
        va_list args;                                     \
        va_start(args, format);                           \
        vwrite(lvl, tag, format, args);                   \
        va_end(args);                                     \
    }

DRIVETHERM_LOG_FUNCTION(debug, Level::Debug)
DRIVETHERM_LOG_FUNCTION(info, Level::Info)
DRIVETHERM_LOG_FUNCTION(warning, Level::Warning)
DRIVETHERM_LOG_FUNCTION(error, Level::Error)

#undef DRIVETHERM_LOG_FUNCTION

}  // namespace drivetherm::log
