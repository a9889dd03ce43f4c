#include "ui/grad_box.h"

namespace tarn::ui {

GradientBox::GradientBox(Container& parent, AnsiString name) : Control(parent, ControlKind::GradientBox, std::move(name))
{
    SetBounds(0, 0, Box.Width, Box.Height);
    Box.OnInvalidate = [this] { Changed(); };
    Box.OnChange = [this](TGradBox*) {
        if (OnChange)
            OnChange(*this);
    };
}

void GradientBox::PaintTo(TDIBSurface& target)
{
    Box.Left = 0, Box.Top = 0, Box.Width = Width(), Box.Height = Height();
    Box.Paint(target.Canvas());
}

} // namespace tarn::ui
