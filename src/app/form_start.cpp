#include "app/form_start.h"

#include "app/title_image.h"
#include "base/codepage.h"
#include "base/path.h"
#include "media/disc_volume.h"
#include "platform/platform.h"
#include "ui/application.h"

namespace tarn {

using namespace ui;

TFormStart::TFormStart(TProgramState& state)
    : Form("FormStart"),
      PaintBox(Add<ui::PaintBox>("PaintBox")),
      btnStart(Add<Button>("btnStart")),
      btnInstall(Add<Button>("btnInstall")),
      btnDirectX(Add<Button>("btnDirectX")),
      btnWinMedia(Add<Button>("btnWinMedia")),
      btnExit(Add<Button>("btnExit")),
      state_(state)
{
    SetFont({ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack });
    SetClientSize(265, 230);
    PaintBox.SetAlign(TAlign::alClient);
    struct Design {
        Button& button;
        int top;
        const char8_t* caption;
        int tag;
    } design[] = { { btnStart, 12, u8"ゲームスタート", 0 },
                   { btnInstall, 64, u8"インストール", 1 },
                   { btnDirectX, 100, u8"DirectXをインストール", 2 },
                   { btnWinMedia, 136, u8"WindowsMediaPlayerをインストール", 3 },
                   { btnExit, 188, u8"終了", 0 } };
    for (const Design& d : design) {
        d.button.SetBounds(28, d.top, 213, 29);
        d.button.SetCaption(Sjis(d.caption));
        d.button.Tag = d.tag;
    }
    btnStart.OnClick = [this](Control& c) { btnStartClick(c); };
    btnInstall.OnClick = [this](Control& c) { btnStartClick(c); };
    btnDirectX.OnClick = [this](Control& c) { btnDirectXClick(c); };
    btnWinMedia.OnClick = [this](Control& c) { btnWinMediaClick(c); };
    btnExit.OnClick = [this](Control& c) { btnExitClick(c); };
    FormCreate();
}

void TFormStart::FormCreate()
{
    const TTarnInstallSet& set = state_.InstallSet;
    // Steps 1 to 6 under the error report: a failure while the title image is
    // drawn skips the layout steps, and the window keeps its design.
    RunCreate([&] {
        discDir_ = AddBackslash(state_.ProgramDir);
        SetCaption(set.Title);
        if (state_.GameArchive)
            DrawTitleImage(PaintBox, set, *state_.GameArchive);
        const int step = btnDirectX.Top() - btnInstall.Top();
        if (!(set.SetupButtons && platform::FileExists(discDir_ + "directx\\dxsetup.exe"))) {
            btnDirectX.SetVisible(false);
            btnWinMedia.SetTop(btnWinMedia.Top() - step);
            btnExit.SetTop(btnExit.Top() - step);
            SetClientSize(ClientWidth(), ClientHeight() - step);
        }
        if (!(set.SetupButtons && platform::FileExists(discDir_ + "winmedia\\mp71.exe"))) {
            btnWinMedia.SetVisible(false);
            btnExit.SetTop(btnExit.Top() - step);
            SetClientSize(ClientWidth(), ClientHeight() - step);
        }
    });
    // Game start needs an installed game, also after a failure above: with the
    // button enabled the game's name would be opened relative to nowhere.
    btnStart.SetEnabled(set.IsInstalled());
}

void TFormStart::btnStartClick(Control& sender)
{
    MenuChoice = sender.Tag;
    SetModalResult(mrOk);
}

void TFormStart::btnDirectXClick(Control&) { platform::ShellOpen(media::StartablePath(discDir_ + "directx\\" + "dxsetup.exe"), ""); }

void TFormStart::btnWinMediaClick(Control&) { platform::ShellOpen(media::StartablePath(discDir_ + "winmedia\\" + "mp71.exe"), ""); }

void TFormStart::btnExitClick(Control&) { SetModalResult(mrCancel); }

} // namespace tarn
