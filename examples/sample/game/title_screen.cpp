#include "title_screen.h"

#include <algorithm>

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/format.h"
#include "graphics/gale.h"
#include "setup/install_set.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/paint_box.h"

using namespace tarn;

namespace sample {

namespace {

// Loads every entry the way the game reads its data; a failure is noted and
// the check goes on, so that one damaged entry does not hide the others.
void CheckEntries(TVrFileCollection& archive, CheckResult& result)
{
    TMemoryStream stream;
    for (int32_t i = 0; i < archive.Count(); ++i) {
        const AnsiString name = archive.Items(i).Name();
        if (name == kVrEndMarker)
            continue;
        ++result.Entries;
        try {
            archive.LoadEntry(stream, name);
            ++result.Loaded;
        } catch (const Exception& e) {
            result.Failures.push_back(name + ": " + e.Message());
        }
    }
}

bool LoadTitle(TVrFileCollection& archive, const TTarnInstallSet& set, TDIBSurface& picture, CheckResult& result)
{
    if (set.TitleImage.empty())
        return false;
    try {
        TMemoryStream stream;
        archive.LoadEntry(stream, set.TitleImage);
        TGaleFrameList frames(set.ImageSeed);
        frames.LoadFromStream(stream, true);
        if (frames.Count() == 0)
            return false;
        const TDIBSurface& frame = frames.Frames(0).Surface;
        picture.Resize(frame.Width(), frame.Height(), 24);
        if (!picture.Empty())
            picture.Canvas().Draw(0, 0, frame);
        return !picture.Empty();
    } catch (const Exception& e) {
        result.Failures.push_back(set.TitleImage + ": " + e.Message());
        return false;
    }
}

} // namespace

CheckResult RunTitleScreen(const AnsiString& dir)
{
    CheckResult result;
    TTarnInstallSet set;
    set.LoadFromFile(dir + "install.dat");

    TVrFileCollection archive;
    TDIBSurface picture;
    try {
        archive.Open(dir + "game.dat");
        if (!archive.Stream)
            result.Failures.push_back(Sjis(u8"game.dat がありません"));
        CheckEntries(archive, result);
        result.TitleShown = LoadTitle(archive, set, picture, result);
    } catch (const Exception& e) {
        result.Failures.push_back(e.Message());
    }

    ui::Form form("FormTitle");
    form.SetCaption(set.Title.empty() ? Sjis(u8"サンプルゲーム") : set.Title);
    form.SetFont({ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack });
    const int width = std::max(picture.Width(), 320), top = result.TitleShown ? picture.Height() : 0;
    auto& box = form.Add<ui::PaintBox>("PaintBox");
    box.SetBounds((width - picture.Width()) / 2, 0, picture.Width(), top);
    box.SetVisible(result.TitleShown);
    if (result.TitleShown)
        box.Bitmap().AssignSurface(picture);
    auto& status = form.Add<ui::Label>("LabelStatus");
    status.SetBounds(12, top + 12, width - 24, 16);
    if (result.Failures.empty() && result.Entries > 0)
        status.SetCaption(Format(u8"game.dat の %d 個のデータをすべて読み込みました", { result.Entries }));
    else
        status.SetCaption(Format(u8"game.dat の %d 個のデータのうち %d 個を読み込みました。読み込めないデータがあります",
                                 { result.Entries, result.Loaded }));
    int bottom = top + 36;
    if (!result.Failures.empty()) {
        auto& list = form.Add<ui::ListBox>("ListFailures");
        list.SetCaption(Sjis(u8"読み込めなかったもの"));
        list.SetBounds(12, bottom, width - 24, 80);
        list.SetItems(result.Failures);
        bottom += 88;
    }
    auto& exit = form.Add<ui::Button>("btnExit");
    exit.SetCaption(Sjis(u8"終了"));
    exit.SetBounds(width - 87, bottom, 75, 25);
    exit.SetDefault(true);
    exit.ModalResult = ui::mrOk;
    form.SetClientSize(width, bottom + 37);
    form.ShowModal();
    return result;
}

} // namespace sample
