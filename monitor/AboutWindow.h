// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <memory>

#include "bindings/KeyValueBinding.h"

namespace drivetherm {

class ObjectController;

// The monitor's About window: the program, its version (bound to the monitor's versionInfo)
// and where updates come from. It blocks nothing; closing it leaves the monitor running.
class AboutWindow : public QDialog {
    Q_OBJECT

public:
    explicit AboutWindow(ObjectController& controller, QWidget* parent = nullptr);
    ~AboutWindow() override;

    // Shows the window in front of the others and gives it the keyboard.
    void bringToFront();

private:
    std::unique_ptr<KeyValueBinding> version_;
};

}  // namespace drivetherm
