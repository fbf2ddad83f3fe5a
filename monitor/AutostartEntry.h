// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>

namespace drivetherm {

// What the login-item switch needs to know of one desktop entry in the user's autostart
// directory: the program its Exec line starts, and whether the desktop will skip it. Parsing
// only; the files are read and written by LaunchAtLoginController.
struct AutostartEntry {
    // The first word of the [Desktop Entry] group's Exec value, with the desktop-entry quoting
    // and escapes undone; none when there is no such line.
    std::optional<std::string> program;
    // Hidden=true, or X-GNOME-Autostart-enabled=false: the desktop does not start it.
    bool disabled = false;

    static AutostartEntry parse(const std::string& text);

    // The entry that starts `program` at login, named for the tray monitor.
    static std::string textFor(const std::string& program);
    // `program` as the first word of an Exec value, quoted where it has to be.
    static std::string execWord(const std::string& program);
};

}  // namespace drivetherm
