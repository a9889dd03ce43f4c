#include "ui/grad_box.h"

#include <algorithm>

namespace tarn::ui {

namespace {

// n / d rounded to the nearest integer, halves to even (d > 0).
int64_t RoundHalfEven(int64_t n, int64_t d)
{
    int64_t q = n / d, r = n % d;
    if (r < 0)
        --q, r += d;
    if (2 * r > d || (2 * r == d && (q & 1)))
        ++q;
    return q;
}

} // namespace

void PaintGradient(TCanvas& canvas, int width, int height, TColor start, TColor end, uint8_t step, TGradDirection direction)
{
    TColor c1 = canvas.NearestColor(start), c2 = canvas.NearestColor(end);
    int r1 = GetRValue(c1), g1 = GetGValue(c1), b1 = GetBValue(c1);
    int r2 = GetRValue(c2), g2 = GetGValue(c2), b2 = GetBValue(c2);
    const int s = step;
    bool vertical = direction == TGradDirection::gdVertical;
    int64_t band = RoundHalfEven(vertical ? height : width, s + 1);
    if (band == 0)
        band = 1;
    int64_t x = 0, y = 0;
    TColor color = c1;
    for (int i = 0; i <= s + 1; ++i) {
        auto channel = [&](int from, int to) {
            int64_t v;
            if (direction == TGradDirection::gdHorzCenter) {
                int d = s / 2 - i < 0 ? i - s / 2 : s / 2 - i;
                v = from + RoundHalfEven(static_cast<int64_t>(to - from) * d, s / 2 + 1);
            } else {
                v = from + RoundHalfEven(static_cast<int64_t>(to - from) * i, s + 1);
            }
            return static_cast<uint32_t>(v & 0xFF);
        };
        color = RGBColor(channel(r1, r2), channel(g1, g2), channel(b1, b2));
        canvas.Brush.Color = color;
        if (vertical) {
            canvas.FillRect(Rect(static_cast<int32_t>(x), static_cast<int32_t>(y), width, static_cast<int32_t>(std::min<int64_t>(y + band, INT32_MAX))));
            y += band;
        } else {
            canvas.FillRect(Rect(static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(std::min<int64_t>(x + band, INT32_MAX)), height));
            x += band;
        }
    }
    canvas.Brush.Color = color;
    if (vertical && y < height)
        canvas.FillRect(Rect(static_cast<int32_t>(x), static_cast<int32_t>(y), width, height));
    else if (direction == TGradDirection::gdHorizontal && x < width)
        canvas.FillRect(Rect(static_cast<int32_t>(x), static_cast<int32_t>(y), width, height));
}

TGradBox::TGradBox(Container& parent, AnsiString name) : Control(parent, ControlKind::GradBox, std::move(name))
{
    SetBounds(0, 0, 128, 128);
}

void TGradBox::Notify()
{
    Invalidate();
    if (OnChange)
        OnChange(*this);
}

void TGradBox::SetColor(int index, TColor value)
{
    (index == 1 ? startColor_ : endColor_) = value;
    Notify();
}

void TGradBox::SetGradStep(uint8_t step)
{
    gradStep_ = step;
    Notify();
}

void TGradBox::SetDirection(TGradDirection d)
{
    if (d == direction_)
        return;
    direction_ = d;
    Notify();
}

void TGradBox::PaintTo(TDIBSurface& target) const
{
    PaintGradient(target.Canvas(), Width(), Height(), startColor_, endColor_, gradStep_, direction_);
}

} // namespace tarn::ui
