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
        registerKey<float>(
            "lowerThreshold", [this] { return lower; }, [this](float v) { lower = v; });
        registerKey<float>(
            "upperThreshold", [this] { return upper; }, [this](float v) { upper = v; });
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

// A continuous slider bound through an object controller, its lo knob held down.
struct DraggedSlider {
    DraggedSlider() {
        slider.resize(400, slider.sizeHint().height());
        slider.setMaxValue(80);
        slider.setMinValue(25);
        slider.bind("objectLoValue", controller, "selection.lowerThreshold");
        slider.bind("objectHiValue", controller, "selection.upperThreshold");
        const SliderPoint c = slider.cell()._sm_loKnobRect().centre();
        start = QPointF(c.x, c.y);
        send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    }
    ~DraggedSlider() { send(QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton); }

    // Back and forth over 20 points, so that the knob never rests at the hi knob.
    void step() {
        send(QEvent::MouseMove, start + QPointF((steps++ % 20) - 10, 0), Qt::NoButton,
             Qt::LeftButton);
    }

    void send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, slider.mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&slider, &event);
    }

    Thresholds thresholds;
    ObjectController controller{&thresholds};
    SMDoubleSlider slider;
    QPointF start;
    int steps = 0;
};

// One mouse move of the lo knob: the event, the cell's tracking, the write to the bound value
// and its notice back into the knob.
void sliderDragStep(benchmark::State& state) {
    DraggedSlider drag;
    for (auto _ : state) drag.step();
    benchmark::DoNotOptimize(drag.thresholds.lower);
}
BENCHMARK(sliderDragStep)->Unit(benchmark::kMicrosecond);

// The same step with its repaint: what the user waits for on each move.
void sliderDragStepWithRepaint(benchmark::State& state) {
    DraggedSlider drag;
    QImage target(drag.slider.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        drag.step();
        drag.slider.render(&target);
    }
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
