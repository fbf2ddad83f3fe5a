// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>

namespace drivetherm {

// What the tray monitor asks of the desktop: the window-system side of its menu actions. The
// Qt tray implements it; the monitor's tests record the calls.
class MonitorPlatform {
public:
    virtual ~MonitorPlatform() = default;
    // Ends the application on the next pass of the event loop.
    virtual void terminateSoon() = 0;
    // Starts the settings window, or brings it to the front when it already runs. Nothing when
    // that worked; otherwise what went wrong, as a dictionary of the failure's parts
    // (`{program = ...; error = ...}`).
    virtual std::optional<std::string> startSettings() = 0;
    // Shows the About window in front of everything else.
    virtual void showAboutWindow() = 0;
    // Opens the address in the user's browser.
    virtual void openUrl(const std::string& url) = 0;
    // One line for the user that needs no answer (a change the daemon refused).
    virtual void showNotice(const std::string& message) = 0;
};

}  // namespace drivetherm
