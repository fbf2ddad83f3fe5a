// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string_view>

namespace drivetherm::log {

enum class Level { Debug = 0, Info = 1, Warning = 2, Error = 3 };

// Messages below this level are dropped. The daemon starts at Warning and `-v` lowers it to Debug.
void setLevel(Level level);
Level level();
bool enabled(Level level);

// One line on standard error: "<tag>: <message>". The journal adds time and process.
void write(Level level, std::string_view tag, std::string_view message);

// printf-style helpers; `tag` names the module ("smc", "smart", "daemon", ...).
void debug(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void info(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void warning(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void error(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace drivetherm::log
