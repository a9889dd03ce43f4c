// The gradient box as a control of the forms: the graphics layer's TGradBox
// (its properties, setter rules and painting) placed on a form. Its setters
// repaint through the backend and report to OnChange with the control as sender.
#pragma once

#include "graphics/dib_surface.h"
#include "graphics/grad_box.h"
#include "ui/controls.h"

namespace tarn::ui {

class GradientBox : public Control {
public:
    GradientBox(Container& parent, AnsiString name);

    // StartColor, EndColor, GradStep, Direction and their setters.
    TGradBox Box;

    // The painting, onto a surface of the control's size.
    void PaintTo(TDIBSurface& target);
};

} // namespace tarn::ui
