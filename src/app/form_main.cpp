#include "app/form_main.h"

#include "app/title_image.h"
#include "base/codepage.h"
#include "ui/application.h"

namespace tarn {

using namespace ui;

TFormMain::TFormMain(TProgramState& state)
    : Form("FormMain"),
      GradBox(Add<GradientBox>("GradBox")),
      PaintBox(Add<ui::PaintBox>("PaintBox")),
      LabelRight(Add<Label>("LabelRight")),
      state_(state)
{
    FontSpec font{ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack };
    SetFont(font);
    SetClientSize(444, 283); // the design size; creation makes it 600 x 400
    GradBox.SetAlign(TAlign::alClient);
    GradBox.Box.SetStartColor(clBlue);
    GradBox.Box.SetEndColor(clNavy);
    GradBox.Box.SetGradStep(128);
    PaintBox.SetAlign(TAlign::alClient);
    LabelRight.SetAlignment(Alignment::Right);
    LabelRight.SetAutoSize(false);
    LabelRight.SetColor(clBlack);
    LabelRight.SetFont({ font.Name, 12, clWhite });
    LabelRight.SetBounds(0, 264, 444, 12);
    FormCreate();
}

void TFormMain::FormCreate()
{
    RunCreate([&] {
        const TTarnInstallSet& set = state_.InstallSet;
        SetClientSize(600, 400);
        SetCaption(set.Title + Sjis(u8"の") + Sjis(set.Installed == 0 ? u8"セットアップ" : u8"削除"));
        if (state_.GameArchive)
            DrawTitleImage(PaintBox, set, *state_.GameArchive);
        LabelRight.SetCaption(set.FooterText + " ");
        const int height = 12; // the absolute value of the font's height
        LabelRight.SetBounds(0, ClientHeight() - height - 8, ClientWidth(), height);
    });
}

} // namespace tarn
