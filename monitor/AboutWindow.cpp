// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/AboutWindow.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "bindings/ObjectController.h"
#include "frontends/AppIcon.h"

namespace drivetherm {

AboutWindow::AboutWindow(ObjectController& controller, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Drivetherm Monitor"));
    setModal(false);
    // Above the other windows, as a panel the user asked for from the tray.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* icon = new QLabel;
    const int side = fontMetrics().height() * 4;
    icon->setPixmap(appIcon().pixmap(side, side));
    auto* name = new QLabel(QStringLiteral("<b>%1</b>").arg(tr("Drivetherm Monitor")));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    name->setFont(big);
    auto* version = new QLabel;
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    version_ = std::make_unique<KeyValueBinding>(
        controller, "selection.versionInfo", [version](const Value& v) {
            version->setText(tr("Version %1").arg(QString::fromStdString(v.stringValue())));
        });
    auto* about = new QLabel(
        tr("Shows the temperature the fan daemon last measured on the disk and the fan's speed "
           "in the system tray."));
    about->setWordWrap(true);
    auto* updates = new QLabel(
        tr("Updates come from your system's package manager; this program has no updater of its "
           "own."));
    updates->setWordWrap(true);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addSpacing(fontMetrics().height() / 2);
    text->addWidget(about);
    text->addWidget(updates);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 56);
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::bringToFront() {
    show();
    raise();
    activateWindow();
}

}  // namespace drivetherm
