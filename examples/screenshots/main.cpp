// Pictures of the launcher menu and the backdrop, as the Qt windows show them
// (offscreen unless a platform is chosen): tarn-screenshots DISC_DIR OUT_DIR
#include <QCoreApplication>

#include "app/form_main.h"
#include "app/form_start.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/qt/qt_backend.h"

using namespace tarn;

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
    AnsiString disc = AddBackslash(platform::PathFromHost(args[0]));
    std::string out = args[1];
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
    return ok ? 0 : 1;
}
