// Pictures of the launcher menu, the backdrop and the wizard's pages, as the
// windows show them: Qt on Linux (offscreen unless a platform is chosen),
// the native windows on Windows. tarn-screenshots DISC_DIR OUT_DIR. The
// wizard really installs the game from the disc set into its proposed
// destination and removes it again, so run it with HOME and the XDG folders
// (or a Wine prefix) that may be thrown away.
#ifdef TARN_HAS_QT
#include <QCoreApplication>
#endif

#include "app/form_main.h"
#include "app/form_start.h"
#include "wizard/destination.h"
#include "wizard/form_type.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#ifdef TARN_HAS_QT
#include "ui/qt/qt_backend.h"
#else
#include "ui/win32/win32_backend.h"
#endif

using namespace tarn;

namespace {

#ifdef TARN_HAS_QT
using Windows = ui::QtBackend;
#else
using Windows = ui::Win32Backend;
#endif

void Settle()
{
    for (int i = 0; i < 5; ++i) {
#ifdef TARN_HAS_QT
        QCoreApplication::processEvents();
#else
        ui::App().ProcessMessages();
        platform::SleepMs(20);
#endif
    }
}

// The form's client area into file (a program path), as PNG.
bool GrabInto(Windows& windows, ui::Form& form, const AnsiString& file)
{
    Settle();
#ifdef TARN_HAS_QT
    return windows.Grab(form, platform::DisplayPath(file));
#else
    return windows.Grab(form, file);
#endif
}

// wizard-N.png for every page up to the delete page (N its index): the navigation pages as a person reaches
// them, the copy page during the install, the delete page during the removal.
// Tells each file the install run has copied.
struct CopyWatch : RunObserver {
    std::function<void()> Copied;
    void FileCopied(const AnsiString&, const AnsiString&, int64_t, CopyOutcome) override { Copied(); }
};

bool GrabWizard(Windows& windows, TProgramState& state, const AnsiString& out)
{
    bool ok = true;
    auto grab = [&](ui::Form& form, int page) { ok = GrabInto(windows, form, out + "wizard-" + std::to_string(page) + ".png") && ok; };
    RunOptions quick;
    quick.Pauses = false;
    AnsiString installed;
    {
        CopyWatch watch;
        TFormType w(state, quick, nullptr, &watch);
        w.Show();
        for (int page : { pgInst, pgMedia, pgFile, pgSelDir, pgConfirm }) {
            if (page == pgFile)
                w.CheckData.SetChecked(true);
            w.ShowPage(page);
            if (page == pgFile)
                w.UpdateNeededSize();
            grab(w, page);
        }
        int copied = 0;
        watch.Copied = [&] {
            if (++copied == 2)
                grab(w, pgCopy);
        };
        w.btnNext.Click();
        if (w.PageIndex() != pgExit)
            return false;
        grab(w, pgExit);
        installed = AddBackslash(w.EditDir.Text());
        w.Hide();
    }
    // The uninstaller, as started on the installation.
    TProgramState removal;
    removal.ProgramDir = removal.SourceDir = DestinationFromText(installed);
    removal.InstallSet.LoadFromFile(AddBackslash(removal.SourceDir) + "install.dat");
    TFormType w(removal, quick, nullptr);
    w.Show();
    grab(w, pgUninst);
    bool deleting = false;
    w.OnModelChanged = [&](ui::Control* c) {
        if (c == &w.LabelDel && !deleting && w.LabelDel.Caption() == Sjis(u8"ファイルを削除しています...")) {
            deleting = true;
            grab(w, pgDelete);
        }
    };
    w.btnNext.Click();
    w.OnModelChanged = nullptr;
    w.Hide();
    return ok && deleting && w.PageIndex() == pgExit;
}


} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args = platform::ArgumentsUtf8(argc, argv);
    if (args.size() != 2) {
        platform::WriteStderr("usage: tarn-screenshots DISC_DIR OUT_DIR\n");
        return 2;
    }
#ifdef TARN_HAS_QT
    if (platform::GetEnv("QT_QPA_PLATFORM").empty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    auto owned = std::make_unique<Windows>();
    Windows& windows = *owned;
    ui::App().SetBackend(std::move(owned));
    const AnsiString disc = AddBackslash(platform::PathFromTyped(args[0])), out = AddBackslash(platform::PathFromTyped(args[1]));
    TProgramState state;
    state.ProgramDir = state.SourceDir = disc;
    try {
        state.InstallSet.LoadFromFile(disc + "install.dat");
        state.GameArchive = std::make_unique<TVrFileCollection>();
        state.GameArchive->Open(disc + "game.dat");
    } catch (const Exception& e) {
        platform::WriteStderr("tarn-screenshots: " + Cp932ToUtf8Lossy(e.Message()) + "\n");
        return 1;
    }
    auto grab = [&](ui::Form& form, const char* name) {
        form.Show();
        bool ok = GrabInto(windows, form, out + name);
        form.Hide();
        return ok;
    };
    TFormStart menu(state);
    TFormMain backdrop(state);
    bool ok = grab(menu, "launcher.png") && grab(backdrop, "backdrop.png");
    return ok && GrabWizard(windows, state, out) ? 0 : 1;
}
