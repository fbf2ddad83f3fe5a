// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/TrayIconText.h"

#include "monitor/MonitorAppDelegate.h"

namespace drivetherm {
namespace {

constexpr const char* kDegree = "\xC2\xB0";
constexpr double kReadingSize = 12.0;

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TrayIconText TrayIconText::forTitle(const StatusTitle& title) {
    TrayIconText text;
    text.relativeSize = title.fontSize / kReadingSize;
    if (title.text == MonitorAppDelegate::startTitle().text) return text;
    if (title.text == MonitorAppDelegate::notRunningTitle().text) {
        text.lines = {"\u2014"};
        text.subdued = true;
        return text;
    }
    const auto slash = title.text.find(" / ");
    if (slash == std::string::npos || !endsWith(title.text, "rpm")) {
        text.lines = {title.text};
        return text;
    }
    // "45 °C" becomes "45°": the unit letter is in the tool tip, the room is not.
    std::string temperature = title.text.substr(0, slash);
    const auto degree = temperature.find(std::string(" ") + kDegree);
    if (degree != std::string::npos) temperature = temperature.substr(0, degree) + kDegree;
    text.lines = {temperature};
    text.hot = title.hot;
    return text;
}

}  // namespace drivetherm
