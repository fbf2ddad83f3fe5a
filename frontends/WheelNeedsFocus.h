// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace drivetherm {

// Lets the wheel reach a field or a chooser only once the user has given it the focus: a wheel
// turned to scroll the window must never change a setting of the daemon on its way. The
// widget's focus policy becomes StrongFocus, so the wheel alone never gives it the focus.
class WheelNeedsFocus final : public QObject {
public:
    static void install(QWidget* widget) {
        widget->setFocusPolicy(Qt::StrongFocus);
        widget->installEventFilter(new WheelNeedsFocus(widget));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel) {
            auto* widget = static_cast<QWidget*>(watched);
            if (!widget->hasFocus()) {
                event->ignore();
                // Handed on to the parent, which scrolls the window.
                return widget->parentWidget() &&
                       QCoreApplication::sendEvent(widget->parentWidget(), event);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    explicit WheelNeedsFocus(QObject* parent) : QObject(parent) {}
};

}  // namespace drivetherm
