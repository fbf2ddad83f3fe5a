// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <ostream>
#include <string>

namespace drivetherm {

// What the tray monitor shows: the text, and the size of the type it is set in (12 for the
// readings and the program's name, 9 for the not-running notice).
struct StatusTitle {
    std::string text;
    double fontSize = 12.0;
    // The temperature is above the upper threshold.
    bool hot = false;

    friend bool operator==(const StatusTitle&, const StatusTitle&) = default;
    friend std::ostream& operator<<(std::ostream& out, const StatusTitle& title) {
        return out << '"' << title.text << "\" at " << title.fontSize;
    }
};

}  // namespace drivetherm
