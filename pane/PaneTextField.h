// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLabel>

#include "pane/TextField.h"

namespace drivetherm {

// A read-only reading of the settings window (the temperature, the fan speed): a label the
// controller writes into, selectable so that a user can copy the figure.
class PaneTextField final : public QLabel, public TextField {
    Q_OBJECT

public:
    explicit PaneTextField(QWidget* parent = nullptr) : QLabel(parent) {
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    void setIntValue(int value) override { setText(QString::number(value)); }
    void setStringValue(const std::string& text) override { setText(QString::fromStdString(text)); }
};

}  // namespace drivetherm
