// TGradBox: a windowless control that fills its area with a banded colour
// gradient. This is its model and its painting onto a canvas; the window
// layer places it and calls Paint when its parent repaints.
#pragma once

#include <cstdint>
#include <functional>

#include "graphics/dib_surface.h"

namespace tarn {

enum TGradDirection : uint8_t { gdHorizontal = 0, gdVertical = 1, gdHorzCenter = 2 };

class TGradBox {
public:
    // The box's place on its parent's canvas (a new box is 128 x 128).
    int32_t Left = 0, Top = 0, Width = 128, Height = 128;

    TColor StartColor() const { return startColor_; }
    TColor EndColor() const { return endColor_; }
    uint8_t GradStep() const { return gradStep_; }
    TGradDirection Direction() const { return direction_; }

    // Index 1 sets the start colour, any other the end colour. Setting a colour
    // or the step always repaints and notifies, even when nothing changes.
    void SetColor(int index, TColor value);
    void SetStartColor(TColor value) { SetColor(1, value); }
    void SetEndColor(TColor value) { SetColor(2, value); }
    void SetGradStep(uint8_t value);
    // Returns at once when the direction is unchanged.
    void SetDirection(TGradDirection value);

    std::function<void(TGradBox*)> OnChange;
    // Asks the owner for a repaint (the window layer's invalidation).
    std::function<void()> OnInvalidate;

    // Paints GradStep + 2 bands (and the final fill) onto the canvas, cut to the box.
    void Paint(TCanvas& canvas) const;

private:
    void Changed();

    TColor startColor_ = clWhite, endColor_ = clBlack;
    uint8_t gradStep_ = 128;
    TGradDirection direction_ = gdVertical;
};

// p / q rounded to the nearest integer, halves to even (q > 0), exactly.
int64_t RoundHalfEven(int64_t p, int64_t q);

} // namespace tarn
