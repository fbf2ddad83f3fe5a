// SPDX-License-Identifier: GPL-2.0-or-later
// One full repaint of the speed-curve graph and one drag step of the threshold slider, offscreen.
//   widgets_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <memory>

#include "bindings/KeyValueObject.h"
#include "bindings/ObjectController.h"
#include "pane/GraphView.h"
#include "slider/SMDoubleSlider.h"

namespace drivetherm {
namespace {

class Thresholds : public KeyValueObject {
public:
    Thresholds() {
        registerKey<float>("lowerThreshold", [this] { return lower; },
                           [this](float v) { lower = v; });
        registerKey<float>("upperThreshold", [this] { return upper; },
                           [this](float v) { upper = v; });
    }
    float lower = 50;
    float upper = 58;
};

void graphRepaint(benchmark::State& state) {
    GraphView view;
    view.setBaseRpm(1100);
    view.setLowerThreshold(50);
    view.setUpperThreshold(58);
    view.setCurrentTemp(52.3f);
    view.setCurrentRpm(2508);
    QImage target(640, 320, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(graphRepaint)->Unit(benchmark::kMicrosecond);

// One mouse move of the lo knob of a continuous slider bound through an object controller: the
// event, the cell's tracking, the write to the bound value and its notice back into the knob.
void sliderDragStep(benchmark::State& state) {
    Thresholds thresholds;
    ObjectController controller(&thresholds);
    SMDoubleSlider slider;
    slider.resize(400, slider.sizeHint().height());
    slider.setMaxValue(80);
    slider.setMinValue(25);
    slider.bind("objectLoValue", controller, "selection.lowerThreshold");
    slider.bind("objectHiValue", controller, "selection.upperThreshold");
    const SliderPoint c = slider.cell()._sm_loKnobRect().centre();
    const QPointF start(c.x, c.y);
    QMouseEvent press(QEvent::MouseButtonPress, start, slider.mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &press);
    int step = 0;
    for (auto _ : state) {
        // Back and forth over 20 points, so that the knob never rests at the hi knob.
        const QPointF at = start + QPointF((step++ % 20) - 10, 0);
        QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, start, slider.mapToGlobal(start),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &release);
    benchmark::DoNotOptimize(thresholds.lower);
}
BENCHMARK(sliderDragStep)->Unit(benchmark::kMicrosecond);

// The same step with its repaint: what the user waits for on each move.
void sliderDragStepWithRepaint(benchmark::State& state) {
    Thresholds thresholds;
    ObjectController controller(&thresholds);
    SMDoubleSlider slider;
    slider.resize(400, slider.sizeHint().height());
    slider.setMaxValue(80);
    slider.setMinValue(25);
    slider.bind("objectLoValue", controller, "selection.lowerThreshold");
    slider.bind("objectHiValue", controller, "selection.upperThreshold");
    QImage target(slider.size(), QImage::Format_ARGB32_Premultiplied);
    const SliderPoint c = slider.cell()._sm_loKnobRect().centre();
    const QPointF start(c.x, c.y);
    QMouseEvent press(QEvent::MouseButtonPress, start, slider.mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &press);
    int step = 0;
    for (auto _ : state) {
        const QPointF at = start + QPointF((step++ % 20) - 10, 0);
        QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&slider, &move);
        slider.render(&target);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, start, slider.mapToGlobal(start),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &release);
}
BENCHMARK(sliderDragStepWithRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace drivetherm

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    char runtimeDir[] = "/tmp/drivetherm-bench-XXXXXX";
    if (mkdtemp(runtimeDir) != nullptr) {
        setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rmdir(runtimeDir);
    return 0;
}
