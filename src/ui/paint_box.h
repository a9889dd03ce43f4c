// A control that shows a 24-bit device-independent bitmap: at its own size,
// at the top-left or centred, or stretched over the whole control (the aspect
// ratio is not kept). Parts outside the control are cut off.
#pragma once

#include "graphics/dib_surface.h"
#include "ui/controls.h"

namespace tarn::ui {

class PaintBox : public Control {
public:
    PaintBox(Container& parent, AnsiString name) : Control(parent, ControlKind::PaintBox, std::move(name)) { }

    // The picture; after drawing into it, Invalidate.
    TDIBSurface& Bitmap() { return bitmap_; }
    const TDIBSurface& Bitmap() const { return bitmap_; }
    void Invalidate() { Changed(); }

    bool Stretch() const { return stretch_; }
    void SetStretch(bool s);
    bool Center() const { return center_; }
    void SetCenter(bool c);

    // What the control shows, drawn onto target at the control's size; where
    // the bitmap does not reach (or when it is empty) target keeps its pixels.
    void PaintTo(TDIBSurface& target) const;

private:
    TDIBSurface bitmap_;
    bool stretch_ = false, center_ = false;
};

} // namespace tarn::ui
