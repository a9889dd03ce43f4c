// TGradBox: a windowless control that fills its area with a banded colour
// gradient (the backdrop's blue). Setting a colour or the step always
// repaints and tells OnChange, even when the value stays; setting the
// direction does so only when it changes.
#pragma once

#include "graphics/dib_surface.h"
#include "ui/controls.h"

namespace tarn::ui {

enum class TGradDirection { gdHorizontal, gdVertical, gdHorzCenter };

// The painting: StepCount + 2 bands of colours from start to end (or from the
// middle out, for gdHorzCenter), rounded exactly, halves to even.
void PaintGradient(TCanvas& canvas, int width, int height, TColor start, TColor end, uint8_t step, TGradDirection direction);

class TGradBox : public Control {
public:
    TGradBox(Container& parent, AnsiString name);

    TColor StartColor() const { return startColor_; }
    TColor EndColor() const { return endColor_; }
    // The shared setter of both colours: index 1 is the start colour, any other the end colour.
    void SetColor(int index, TColor value);
    void SetStartColor(TColor c) { SetColor(1, c); }
    void SetEndColor(TColor c) { SetColor(2, c); }
    uint8_t GradStep() const { return gradStep_; }
    void SetGradStep(uint8_t step);
    TGradDirection Direction() const { return direction_; }
    void SetDirection(TGradDirection d);

    // Repaints (a notice to the backend).
    void Invalidate() { Changed(); }
    // The painting, onto a surface of the control's size.
    void PaintTo(TDIBSurface& target) const;

private:
    void Notify();

    TColor startColor_ = clWhite, endColor_ = clBlack;
    uint8_t gradStep_ = 128;
    TGradDirection direction_ = TGradDirection::gdVertical;
};

} // namespace tarn::ui
