// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "bindings/KeyValueBinding.h"
#include "bindings/ObjectController.h"
#include "demo/widgets/DemoModel.h"

class QCheckBox;

namespace drivetherm {

class GraphView;
class SMDoubleSlider;
class TempTransformer;

// The speed-curve graph and the threshold slider bound to one model through an object controller,
// with the plain controls of a settings window beside them.
class DemoWindow : public QWidget {
    Q_OBJECT

public:
    DemoWindow();
    ~DemoWindow() override;

private:
    // Binds a check box to a flag; a change refreshes every control, as the settings window does
    // after a switch of unit or mode.
    void bindCheckBox(QCheckBox* box, const char* keyPath);
    void refreshControls();

    std::shared_ptr<TempTransformer> transformer_;
    DemoModel model_;
    ObjectController controller_;
    GraphView* graph_;
    SMDoubleSlider* slider_;
    std::vector<std::unique_ptr<KeyValueBinding>> bindings_;
};

}  // namespace drivetherm
