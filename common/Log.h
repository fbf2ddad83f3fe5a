// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace drivetherm::log {

enum class Level { Debug = 0, Info = 1, Warning = 2, Error = 3 };

// Messages below this level are dropped. The daemon starts at Warning, at Info when it writes to
// the journal, and `-v` lowers it to Debug.
void setLevel(Level level);
Level level();
bool enabled(Level level);

// The name of a field the journal keeps beside a message: capitals, digits and '_', not
// starting with '_' (the journal's own fields) or a digit, at most 64 characters. Checked when
// the program is compiled, so a field the journal would drop never gets that far.
class FieldName {
public:
    consteval FieldName(const char* name) : name_(name) {
        if (!isValid(name)) throw "not a journal field name";  // fails the compilation
    }
    constexpr const char* c_str() const { return name_; }

    static constexpr bool isValid(std::string_view name) {
        if (name.empty() || name.size() > 64 || name[0] == '_' ||
            (name[0] >= '0' && name[0] <= '9')) {
            return false;
        }
        for (const char c : name) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
        }
        return true;
    }

private:
    const char* name_;
};

// One field of a structured line ("TARGET_RPM=1850"). Reals are written with two decimals. A
// field with an empty value is left out.
struct Field {
    Field(FieldName name, std::string value) : name(name.c_str()), value(std::move(value)) {}
    Field(FieldName name, const char* value) : name(name.c_str()), value(value ? value : "") {}
    Field(FieldName name, int value) : name(name.c_str()), value(std::to_string(value)) {}
    Field(FieldName name, double value);

    const char* name;
    std::string value;
};

// One line on standard error: "<tag>: <message>". The journal adds time and process. When
// standard error is the journal, the line goes through the journal's own protocol instead,
// with its priority and `fields`.
void write(Level level, std::string_view tag, std::string_view message,
           std::initializer_list<Field> fields = {});

// printf-style helpers; `tag` names the module ("smc", "smart", "daemon", ...).
void debug(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void info(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void warning(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
void error(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Lines with fields for the journal, for events scripts select and read: the daemon's
// temperature checks (info: one a minute) and speed changes (debug: up to one a second).
void debug(const char* tag, std::initializer_list<Field> fields, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void info(const char* tag, std::initializer_list<Field> fields, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace drivetherm::log
