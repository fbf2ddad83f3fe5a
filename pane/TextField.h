// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace drivetherm {

// A text output of the settings window: the fan speed and the temperature fields. The window's
// controller writes its readings through this so that it can be tested without widgets.
class TextField {
public:
    virtual ~TextField() = default;
    // Shows a whole number ("2000", "-1").
    virtual void setIntValue(int value) = 0;
    // Shows the text as it is (UTF-8).
    virtual void setStringValue(const std::string& text) = 0;
};

}  // namespace drivetherm
