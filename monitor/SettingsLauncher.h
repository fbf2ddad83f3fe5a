// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace drivetherm {

// Starts the settings window for the monitor's menu. The window itself makes sure there is one
// per user and daemon: a second start brings the running window to the front and ends, so
// starting it is all the monitor has to do either way.
class SettingsLauncher {
public:
    // `arguments` are handed on, so that the window reaches the same daemon and machine.
    explicit SettingsLauncher(QStringList arguments) : arguments_(std::move(arguments)) {}

    // The program: beside the monitor, then (when the monitor runs from its build tree) the
    // build tree's, then along PATH. Empty when there is none.
    static QString program();

    // Nothing when the window was started; otherwise the failure as a dictionary of its parts.
    std::optional<std::string> start() const;

private:
    QStringList arguments_;
};

}  // namespace drivetherm
