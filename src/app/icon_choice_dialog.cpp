#include "app/icon_choice_dialog.h"

#include <algorithm>

#include "base/codepage.h"
#include "ui/application.h"

namespace tarn::ui {

TIconChoiceForm::TIconChoiceForm(const TIconChoice& choice)
    : Form("IconChoiceForm"), ListBox1(Add<ListBox>("ListBox1")), Image(Add<PaintBox>("Image")), OKBtn(Add<Button>("OKBtn")), choice_(choice)
{
    SetCaption("Select One from Multiple Icons");
    SetClientSize(290, 180);
    SetFont({ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack });
    BorderIcons = false;
    ListBox1.SetBounds(8, 8, 150, 154);
    Image.SetBounds(180, 16, 100, 100);
    OKBtn.SetBounds(200, 140, 80, 26);
    OKBtn.SetCaption("OK");
    OKBtn.ModalResult = mrOk;
    OKBtn.SetDefault(true);
    StringList lines;
    for (size_t i = 0; i < choice.Images.size(); ++i)
        lines.push_back(IconChoiceLine(static_cast<int32_t>(i), choice.Images[i]));
    ListBox1.SetItems(std::move(lines));
    ListBox1.OnClick = [this](Control&) { Preview(ListBox1.ItemIndex()); };
    RunCreate([&] {
        if (!choice.Images.empty()) {
            ListBox1.SetItemIndex(0);
            Preview(0);
        }
    });
}

void TIconChoiceForm::Preview(int32_t index)
{
    TDIBSurface& box = Image.Bitmap();
    box.Resize(100, 100, 24);
    box.FillValue(box.FullRect(), 0xFFFFFF);
    Image.Invalidate();
    if (index < 0 || index >= static_cast<int32_t>(choice_.Images.size()) || !choice_.ReadImage)
        return;
    TDIBSurface picture;
    choice_.ReadImage(index, picture);
    if (picture.Empty())
        return;
    picture.SetDepth(24);
    // The image over white, through its mask.
    TDIBSurface white;
    white.Resize(picture.Width(), picture.Height(), 24);
    white.FillValue(white.FullRect(), 0xFFFFFF);
    if (picture.HasMask())
        white.BlitAlpha(0, 0, picture.FullRect(), picture);
    else
        white.Blit(0, 0, picture);
    const int32_t w = white.Width(), h = white.Height();
    if (w <= 100 && h <= 100) {
        box.Canvas().Draw((100 - w) / 2, (100 - h) / 2, white);
    } else {
        double scale = std::min(100.0 / w, 100.0 / h);
        int32_t sw = static_cast<int32_t>(w * scale), sh = static_cast<int32_t>(h * scale);
        int32_t x = (100 - sw) / 2, y = (100 - sh) / 2;
        box.Canvas().StretchDraw(Rect(x, y, x + sw, y + sh), white);
    }
    Image.Invalidate();
}

int32_t ChooseIcon(const TIconChoice& choice)
{
    TIconChoiceForm form(choice);
    form.ShowModal();
    return std::max(form.ListBox1.ItemIndex(), 0);
}

void ConnectIconChooser() { SetIconChooser(ChooseIcon); }

} // namespace tarn::ui
