// Pictures of the launcher menu, the backdrop and the wizard's pages, as the
// Qt windows show them (offscreen unless a platform is chosen):
// tarn-screenshots DISC_DIR OUT_DIR. The wizard really installs the game
// from the disc set into its proposed destination and removes it again, so
// run it with HOME and the XDG folders pointing somewhere disposable.
#include <QCoreApplication>

#include "app/form_main.h"
#include "app/form_start.h"
#include "wizard/destination.h"
#include "wizard/form_type.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/qt/qt_backend.h"

using namespace tarn;

namespace {

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// wizard-N.png for pages 0 to 8: the navigation pages as a person reaches
// them, the copy page during the install, the delete page during the removal.
bool GrabWizard(ui::QtBackend& qt, TProgramState& state, const std::string& out)
{
    bool ok = true;
    auto grab = [&](ui::Form& form, int page) {
        Settle();
        ok = qt.Grab(form, out + "/wizard-" + std::to_string(page) + ".png") && ok;
    };
    AnsiString installed;
    {
        TFormType w(state, nullptr);
        w.SkipPauses = true;
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
        w.RunEvents.FileCopied = [&](const AnsiString&, const AnsiString&, int64_t, CopyOutcome) {
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
    TFormType w(removal, nullptr);
    w.SkipPauses = true;
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
    if (platform::GetEnv("QT_QPA_PLATFORM").empty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto owned = std::make_unique<ui::QtBackend>();
    ui::QtBackend& qt = *owned;
    ui::App().SetBackend(std::move(owned));
    const std::string cwd = platform::DisplayPath(AddBackslash(platform::CurrentDirectory()));
    AnsiString disc = AddBackslash(platform::PathFromHost(args[0][0] == '/' ? args[0] : cwd + args[0]));
    // Absolute: the wizard moves the current directory as it browses.
    std::string out = args[1];
    if (out.empty() || out[0] != '/')
        out = cwd + out;
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
    auto grab = [&](ui::Form& form, const std::string& name) {
        form.Show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        bool ok = qt.Grab(form, out + "/" + name);
        form.Hide();
        return ok;
    };
    TFormStart menu(state);
    TFormMain backdrop(state);
    bool ok = grab(menu, "launcher.png") && grab(backdrop, "backdrop.png");
    return ok && GrabWizard(qt, state, out) ? 0 : 1;
}
