// SPDX-License-Identifier: GPL-2.0-or-later
// The tray's icon at the sizes panels give it (16, 22, 24 and 32 pixels): the temperature is
// readable in each, hot is told by colour, and no daemon is a dash. The pictures are kept for
// people to look at.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "monitor/MonitorAppDelegate.h"
#include "monitor/TrayIconPainter.h"

namespace drivetherm {
namespace {

const std::string kArtifacts = DRIVETHERM_BINARY_DIR "/tests/gui/frontends";

// The rows of the picture where a light (text) pixel is.
std::pair<int, int> textRows(const QImage& image) {
    int top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 170 && qAlpha(image.pixel(x, y)) > 200) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return {top, bottom};
}

TEST(TrayIcon, TheTemperatureIsReadableAtEveryTraySizeAndHeatAndAbsenceAreTold) {
    struct Row {
        const char* name;
        StatusTitle title;
    };
    const Row rows[] = {
        {"reading", MonitorAppDelegate::readingTitle("45 \u00B0C", 2000)},
        {"hot", MonitorAppDelegate::readingTitle("61 \u00B0C", 5800, true)},
        {"fahrenheit", MonitorAppDelegate::readingTitle("165 \u00B0F", 5891)},
        {"no-daemon", MonitorAppDelegate::notRunningTitle()},
    };
    for (const int side : {16, 22, 24, 32}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(side));
            const QImage image = TrayIconPainter::pixmap(row.title, side).toImage();
            image.save(QString::fromStdString(kArtifacts + "/tray-" + row.name + "-" +
                                              std::to_string(side) + ".png"));
            const auto [top, bottom] = textRows(image);
            if (std::string(row.name) == "no-daemon") {
                EXPECT_LE(bottom - top, 3) << "a dash, not a word";
                continue;
            }
            EXPECT_GE(bottom - top + 1, 9) << "digits at least 9 pixels tall";
            const QRgb plate = image.pixel(side / 2, 1);  // above the digits
            if (std::string(row.name) == "hot") {
                EXPECT_GT(qRed(plate), 2 * qBlue(plate));
            } else {
                EXPECT_GT(qBlue(plate), qRed(plate));
            }
        }
    }
}

}  // namespace
}  // namespace drivetherm
