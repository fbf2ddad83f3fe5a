// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace drivetherm {

// The text a user sees for a temperature held in degrees Celsius: a whole number, a blank, the
// degree sign and the unit letter ("45 °C", "113 °F"). Every program shows temperatures this way:
// the settings window, its graph, the tray monitor and drivethermctl.
//
// Celsius prints "%.0f" of the value. Fahrenheit is celsius / 5 × 9 + 32, computed in double
// precision in exactly that order and then rounded to single precision before it prints, so a
// value the window shows never differs from what the command line prints. "%.0f" rounds an
// exact half to the even neighbour, and a value just below zero prints as "-0".
//
// The text is UTF-8: the degree sign is the two bytes C2 B0.
std::string temperatureText(float celsius, bool fahrenheit);

}  // namespace drivetherm
