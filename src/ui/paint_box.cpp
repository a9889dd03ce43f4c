#include "ui/paint_box.h"

namespace tarn::ui {

void PaintBox::SetStretch(bool s)
{
    stretch_ = s;
    Changed();
}

void PaintBox::SetCenter(bool c)
{
    center_ = c;
    Changed();
}

void PaintBox::PaintTo(TDIBSurface& target) const
{
    if (bitmap_.Empty() || target.Empty())
        return;
    if (stretch_) {
        target.Canvas().StretchDraw(Rect(0, 0, Width(), Height()), bitmap_);
        return;
    }
    int x = center_ ? (Width() - bitmap_.Width()) / 2 : 0;
    int y = center_ ? (Height() - bitmap_.Height()) / 2 : 0;
    target.Canvas().Draw(x, y, bitmap_);
}

} // namespace tarn::ui
