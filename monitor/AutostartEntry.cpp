// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/AutostartEntry.h"

#include <sstream>

namespace drivetherm {
namespace {

std::string trim(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    const auto end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

// The escapes of a desktop entry's string value: \s \n \t \r and \\.
std::string unescapeString(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char c = value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += c;
                break;
        }
    }
    return out;
}

// The first word of an Exec value: up to the first blank, or a double-quoted word in which a
// backslash takes the next character literally. "%%" stands for one percent sign.
std::optional<std::string> firstExecWord(const std::string& exec) {
    std::string word;
    std::size_t i = exec.find_first_not_of(' ');
    if (i == std::string::npos) return std::nullopt;
    if (exec[i] == '"') {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
            word += exec[i];
        }
        if (i == exec.size()) return std::nullopt;  // no closing quote: not a valid line
    } else {
        for (; i < exec.size() && exec[i] != ' '; ++i) word += exec[i];
    }
    std::string out;
    for (std::size_t k = 0; k < word.size(); ++k) {
        out += word[k];
        if (word[k] == '%' && k + 1 < word.size() && word[k + 1] == '%') ++k;
    }
    return out;
}

bool isFalse(const std::string& value) {
    return value == "false";
}
bool isTrue(const std::string& value) {
    return value == "true";
}

}  // namespace

AutostartEntry AutostartEntry::parse(const std::string& text) {
    AutostartEntry entry;
    std::istringstream lines(text);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(lines, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inMainGroup || eq == std::string::npos) continue;
        // Localised keys ("Name[de]") never hold these.
        const std::string key = trim(line.substr(0, eq));
        const std::string value = unescapeString(trim(line.substr(eq + 1)));
        if (key == "Exec") {
            entry.program = firstExecWord(value);
        } else if (key == "Hidden") {
            entry.disabled = entry.disabled || isTrue(value);
        } else if (key == "X-GNOME-Autostart-enabled") {
            entry.disabled = entry.disabled || isFalse(value);
        }
    }
    return entry;
}

std::string AutostartEntry::execWord(const std::string& program) {
    static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string word;
    for (const char c : program) word += c == '%' ? std::string("%%") : std::string(1, c);
    if (program.find_first_of(kReserved) != std::string::npos) {
        std::string quoted = "\"";
        for (const char c : word) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        word = quoted + "\"";
    }
    // The value is a string as well: its own backslashes are escaped once more.
    std::string escaped;
    for (const char c : word) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return escaped;
}

std::string AutostartEntry::textFor(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Drivetherm Monitor\n"
           "Comment=The disk's temperature and the fan's speed in the system tray\n"
           "Exec=" +
           execWord(program) +
           "\n"
           "Icon=drivetherm\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace drivetherm
