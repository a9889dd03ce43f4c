#include "graphics/grad_box.h"

#include <cstdlib>

namespace tarn {

int64_t RoundHalfEven(int64_t p, int64_t q)
{
    int64_t floor = p / q;
    int64_t rest = p % q;
    if (rest < 0)
        rest += q, floor -= 1;
    // Compare the remainder with half of q without leaving the integers.
    if (2 * rest > q || (2 * rest == q && (floor & 1)))
        floor += 1;
    return floor;
}

void TGradBox::Changed()
{
    if (OnInvalidate)
        OnInvalidate();
    if (OnChange)
        OnChange(this);
}

void TGradBox::SetColor(int index, TColor value)
{
    if (index == 1)
        startColor_ = value;
    else
        endColor_ = value;
    Changed();
}

void TGradBox::SetGradStep(uint8_t value)
{
    gradStep_ = value;
    Changed();
}

void TGradBox::SetDirection(TGradDirection value)
{
    if (value == direction_)
        return;
    direction_ = value;
    Changed();
}

void TGradBox::Paint(TCanvas& canvas) const
{
    const int64_t S = gradStep_, W = Width, H = Height;
    TColor c1 = canvas.NearestColor(startColor_), c2 = canvas.NearestColor(endColor_);
    const int64_t from[3] = { GetRValue(c1), GetGValue(c1), GetBValue(c1) };
    const int64_t to[3] = { GetRValue(c2), GetGValue(c2), GetBValue(c2) };
    int64_t b = RoundHalfEven(direction_ == gdVertical ? H : W, S + 1);
    if (b == 0)
        b = 1;
    // Fills in box coordinates, cut to the box as the control's canvas would.
    auto fill = [&](int64_t l, int64_t t, int64_t r, int64_t btm, TColor color) {
        l = l < 0 ? 0 : l, t = t < 0 ? 0 : t, r = r > W ? W : r, btm = btm > H ? H : btm;
        if (l >= r || t >= btm)
            return;
        canvas.Brush.Color = color;
        canvas.FillRect(Rect(static_cast<int32_t>(Left + l), static_cast<int32_t>(Top + t), static_cast<int32_t>(Left + r),
                             static_cast<int32_t>(Top + btm)));
    };
    int64_t x = 0, y = 0;
    TColor color = c1;
    for (int64_t i = 0; i <= S + 1; ++i) {
        uint32_t channel[3];
        for (int c = 0; c < 3; ++c) {
            int64_t step;
            if (direction_ == gdHorzCenter) {
                int64_t d = std::llabs(S / 2 - i);
                step = RoundHalfEven((to[c] - from[c]) * d, S / 2 + 1);
            } else {
                step = RoundHalfEven((to[c] - from[c]) * i, S + 1);
            }
            channel[c] = static_cast<uint32_t>((from[c] + step) & 0xFF);
        }
        color = RGBColor(channel[0], channel[1], channel[2]);
        if (direction_ == gdVertical) {
            fill(x, y, W, y + b, color);
            y += b;
        } else {
            fill(x, y, x + b, H, color);
            x += b;
        }
    }
    if (direction_ == gdVertical && y < H)
        fill(x, y, W, H, color);
    else if (direction_ == gdHorizontal && x < W)
        fill(x, y, W, H, color);
}

} // namespace tarn
