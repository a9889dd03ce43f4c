// The sample game of the sample disc set. Started from its installation
// directory, it reads the game.dat there (merged from both discs by the
// installer), checks that every entry loads, and shows the title picture.
// Exit status 0 when everything loaded, 1 otherwise.
#include <cstdlib>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "title_screen.h"
#include "ui/application.h"
#include "app/backend_choice.h"
#include "ui/message_dialog.h"

using namespace tarn;

namespace {

const char kHelp[] =
    "Usage: game.exe [--ui=qt|console]\n"
    "The sample game: checks the game.dat beside it and shows its title picture.\n"
    "\n"
    "  --ui=qt|console  the window: Qt (the default with a display) or text in\n"
    "                   the terminal, driven line by line from standard input\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 when every entry of game.dat loaded, 1 otherwise, 2 wrong usage.\n";

[[noreturn]] void Usage(const std::string& message)
{
    platform::WriteStderr("game: " + message + "\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    platform::InitializeProcess();
    std::vector<std::string> args = platform::ArgumentsUtf8(argc, argv);
    std::string ui;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help") {
            platform::WriteStdout(kHelp);
            return 0;
        }
        if (args[i].starts_with("--ui="))
            ui = args[i].substr(5);
        else if (args[i] == "--ui" && i + 1 < args.size())
            ui = args[++i];
        else
            Usage("unknown argument '" + args[i] + "'");
    }
    if (!ui::UseBackend(ui))
        Usage(std::string("--ui takes ") + ui::BackendNames());

    int status = 1;
    ui::App().Dispatch([&] {
        AnsiString dir = ExtractFilePath(platform::ModuleFileName());
        if (!platform::FileExists(dir + "install.dat")) {
            ui::MessageDlg(Sjis(u8"install.dat がありません。インストールしたディレクトリから起動してください"), ui::MsgType::Error,
                           ui::mbOK);
            return;
        }
        sample::CheckResult r = sample::RunTitleScreen(dir);
        for (const AnsiString& failure : r.Failures)
            platform::WriteStderr("game: " + Cp932ToUtf8Lossy(failure) + "\n");
        status = r.Entries > 0 && r.Loaded == r.Entries && r.Failures.empty() && r.TitleShown ? 0 : 1;
    });
    return status;
}
