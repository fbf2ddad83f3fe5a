// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QtMath>
#include <algorithm>

#include "tests/gui/widgets/SliderWindow.h"

namespace drivetherm {
namespace {

using slidergui::SliderWindow;

class SliderFocus : public SliderWindow {
protected:
    void SetUp() override {
        SliderWindow::SetUp();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Where the focus is, and which knob is current.
    void expectFocus(QWidget* widget, bool loKnob) {
        EXPECT_EQ(QApplication::focusWidget(), widget);
        EXPECT_EQ(slider->trackingLoKnob(), loKnob);
    }
};

TEST_F(SliderFocus, TabWalksTheFieldBeforeTheLoKnobTheHiKnobAndTheFieldAfter) {
    slider->setTrackingLoKnob(false);
    before->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    expectFocus(slider, true);
    EXPECT_TRUE(slider->cell().showsFirstResponder());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    expectFocus(slider, false);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    expectFocus(after, true);
    EXPECT_FALSE(slider->cell().showsFirstResponder());
}

TEST_F(SliderFocus, ShiftTabWalksTheFieldAfterTheHiKnobTheLoKnobAndTheFieldBefore) {
    slider->setTrackingLoKnob(true);
    after->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    expectFocus(slider, false);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    expectFocus(slider, true);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    expectFocus(before, true);
}

TEST_F(SliderFocus, FocusGivenDirectlyLeavesTheKnobAloneAndAClickThenChoosesIt) {
    for (const bool lo : {false, true}) {
        before->setFocus(Qt::OtherFocusReason);
        slider->setTrackingLoKnob(lo);
        slider->setFocus(Qt::ActiveWindowFocusReason);
        expectFocus(slider, lo);
    }
    bindBoth();
    before->setFocus(Qt::OtherFocusReason);
    slider->setTrackingLoKnob(false);
    QTest::mouseClick(slider, Qt::LeftButton, {}, loKnob());
    expectFocus(slider, true);
    EXPECT_EQ(thresholds.lowerWrites.size(), 1u);
}

TEST_F(SliderFocus, ArrowKeysMoveTheCurrentKnobAndWriteItBack) {
    bindBoth();
    slider->setKeyboardStep(0.5);
    slider->setFocus(Qt::TabFocusReason);  // lo knob current
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(slider->doubleLoValue(), 50.5);
    EXPECT_EQ(thresholds.lower, 50.5f);
    QTest::keyClick(slider, Qt::Key_End);  // stops at the hi knob
    EXPECT_EQ(slider->doubleLoValue(), 58);
    QTest::keyClick(slider, Qt::Key_Tab);  // hi knob current
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_EQ(slider->doubleHiValue(), 63);
    EXPECT_EQ(thresholds.upper, 63.0f);
    QTest::keyClick(slider, Qt::Key_Home);  // stops at the lo knob
    EXPECT_EQ(thresholds.upper, 58.0f);
}

// How many pixels differ between two pictures of the slider inside rect (widget coordinates).
int differingPixels(const QImage& a, const QImage& b, const QRect& rect) {
    int count = 0;
    const qreal ratio = a.devicePixelRatio();
    const QRect pixels(QPoint(qFloor(rect.left() * ratio), qFloor(rect.top() * ratio)),
                       QPoint(qCeil(rect.right() * ratio), qCeil(rect.bottom() * ratio)));
    for (int y = std::max(0, pixels.top()); y <= std::min(a.height() - 1, pixels.bottom()); ++y) {
        for (int x = std::max(0, pixels.left()); x <= std::min(a.width() - 1, pixels.right());
             ++x) {
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return count;
}

QRect around(const SliderRect& knob) {
    return QRectF(knob.x, knob.y, knob.width, knob.height).toAlignedRect().adjusted(-4, -4, 4, 4);
}

TEST_F(SliderFocus, TheFocusRingSurroundsTheCurrentKnobAlone) {
    slider->setDoubleHiValue(70);
    slider->setDoubleLoValue(35);
    before->setFocus(Qt::OtherFocusReason);
    const QImage plain = slider->grab().toImage();
    QTest::keyClick(before, Qt::Key_Tab);  // onto the lo knob, by keyboard
    const QImage loFocused = slider->grab().toImage();
    QTest::keyClick(slider, Qt::Key_Tab);  // onto the hi knob
    const QImage hiFocused = slider->grab().toImage();
    const QString dir = QStringLiteral(DRIVETHERM_BINARY_DIR "/test-artifacts/widgets");
    QDir().mkpath(dir);
    loFocused.save(dir + "/slider-focus-lo.png");
    hiFocused.save(dir + "/slider-focus-hi.png");

    const QRect lo = around(slider->cell()._sm_loKnobRect());
    const QRect hi = around(slider->cell().knobRectFlipped(true));
    EXPECT_GT(differingPixels(plain, loFocused, lo), 0);
    EXPECT_EQ(differingPixels(plain, loFocused, hi), 0);
    EXPECT_GT(differingPixels(plain, hiFocused, hi), 0);
    EXPECT_EQ(differingPixels(plain, hiFocused, lo), 0);
}

TEST_F(SliderWindow, AVerticalSliderGrowsUpwardAsTheKnobChoiceExpects) {
    slider->setOrientation(Qt::Vertical);
    slider->resize(slider->sizeHint());
    slider->setDoubleHiValue(80);
    slider->setDoubleLoValue(25);
    EXPECT_GT(slider->cell()._sm_loKnobRect().y, slider->cell().knobRectFlipped(true).y);
    QTest::mousePress(slider, Qt::LeftButton, {}, loKnob());
    EXPECT_TRUE(slider->trackingLoKnob());
    QTest::mouseRelease(slider, Qt::LeftButton, {}, loKnob());
}

}  // namespace
}  // namespace drivetherm
