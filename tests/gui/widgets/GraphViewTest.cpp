// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <iostream>

#include "pane/GraphView.h"

namespace drivetherm {
namespace {

bool isRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 70 && qBlue(c) < 70;
}
bool isBlue(QRgb c) {
    return qBlue(c) > 200 && qRed(c) < 70 && qGreen(c) < 70;
}
bool isBlack(QRgb c) {
    return qRed(c) < 20 && qGreen(c) < 20 && qBlue(c) < 20;
}

// The settings window's defaults, 52.3 °C and the fan on its way up.
void pushSample(GraphView& view) {
    view.setBaseRpm(1100);
    view.setLowerThreshold(50);
    view.setUpperThreshold(58);
    view.setCurrentTemp(52.3f);
    view.setCurrentRpm(2508);
}

QImage render(GraphView& view, const char* artifact) {
    const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString dir = QStringLiteral(DRIVETHERM_BINARY_DIR "/test-artifacts/widgets");
    QDir().mkpath(dir);
    const QString path = dir + "/" + artifact;
    if (image.save(path)) {
        std::cout << "graph picture saved to " << path.toStdString() << '\n';
    }
    return image;
}

// Pixels in widget coordinates: y = 320 - the graph's own y.
TEST(GraphView, DrawsTheSampleReadingAt640x320) {
    GraphView view;
    ASSERT_EQ(view.size(), QSize(640, 320));
    pushSample(view);
    const QImage image = render(view, "graph-640x320.png");
    ASSERT_EQ(image.size(), QSize(640, 320));

    // The current temperature, 52.3 °C, is a red line two points wide at x 337 and 338, from the
    // top of the speed axis (y 50) to its bottom (y 270).
    for (const int y : {55, 120, 190, 260}) {
        EXPECT_TRUE(isRed(image.pixel(337, y))) << y;
        EXPECT_TRUE(isRed(image.pixel(338, y))) << y;
        EXPECT_FALSE(isRed(image.pixel(334, y))) << y;
        EXPECT_FALSE(isRed(image.pixel(341, y))) << y;
    }
    EXPECT_FALSE(isRed(image.pixel(337, 40)));

    // The marker at 2508 rpm: a ring of radius 6 around (338, 206) with a horizontal bar.
    EXPECT_TRUE(isRed(image.pixel(334, 205)));
    EXPECT_TRUE(isRed(image.pixel(342, 206)));
    EXPECT_TRUE(isRed(image.pixel(344, 203)) || isRed(image.pixel(344, 206)));
    EXPECT_FALSE(isRed(image.pixel(336, 203)));
    EXPECT_FALSE(isRed(image.pixel(340, 208)));
    EXPECT_FALSE(isRed(image.pixel(338 - 12, 206)));

    // The flat part of the curve at base speed, 1100 rpm (y 266), is blue on top.
    EXPECT_TRUE(isBlue(image.pixel(200, 262)));
    // Outside the plot the picture is black.
    EXPECT_TRUE(isBlack(image.pixel(600, 5)));
    EXPECT_TRUE(isBlack(image.pixel(620, 200)));
}

TEST(GraphView, PinToBaseMovesTheMarkerToTheBaseSpeed) {
    GraphView view;
    pushSample(view);
    view.setPinToBase(true);
    const QImage image = render(view, "graph-640x320-pinned.png");
    // Centre (338, 262): 4 above the base-speed level of y 266.
    EXPECT_TRUE(isRed(image.pixel(334, 261)));
    EXPECT_FALSE(isRed(image.pixel(334, 205)));
}

// Nothing pushed, or a daemon that is gone: no curve, no marker, no target; and at the ends of
// the slider (25 and 80 °C) the curve's sharp bends stay inside the plot.
TEST(GraphView, DrawsNothingOutsideThePlotAndNoAlarmWithoutSettings) {
    const auto blueOutside = [](const QImage& image, const QRectF& plot) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += qBlue(image.pixel(x, y)) > 100 && qRed(image.pixel(x, y)) < 60 &&
                     !plot.contains(QPointF(x + 0.5, y + 0.5));
        return n;
    };
    GraphView empty;
    const QImage none = render(empty, "graph-640x320-empty.png");
    EXPECT_EQ(blueOutside(none, QRectF()), 0);
    EXPECT_FALSE(isRed(none.pixel(116, 65)) || isRed(none.pixel(116, 66)));

    for (const auto& [lower, upper] : {std::pair{25.0f, 80.0f}, std::pair{25.0f, 25.0f},
                                       std::pair{80.0f, 80.0f}, std::pair{24.0f, 81.0f}}) {
        GraphView view;
        pushSample(view);
        view.setLowerThreshold(lower);
        view.setUpperThreshold(upper);
        const QImage image = render(view, "graph-640x320-ends.png");
        EXPECT_EQ(blueOutside(image, view.plotArea()), 0) << lower << " " << upper;
    }
}

}  // namespace
}  // namespace drivetherm
