// tarn-setup (install.exe on Windows): the installer and launcher of the disc.
// Without options it behaves exactly as the program's start-up rules say;
// the options are additions for people and scripts.
#include <cstdio>

#include "app/startup.h"
#include "base/codepage.h"
#include "base/path.h"
#include "common/json.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/backend_choice.h"
#include "ui/icon_choice_dialog.h"

using namespace tarn;

namespace {

const char kHelp[] =
    "Usage: tarn-setup [OPTION]... [SOURCE_DIR]\n"
    "The installer and launcher of a game's distribution disc.\n"
    "\n"
    "Without SOURCE_DIR it acts as the program lying on the disc: it shows the\n"
    "launcher menu (or, beside an installed game, starts the uninstaller). With\n"
    "SOURCE_DIR it runs the installer (or uninstaller) on that directory, as the\n"
    "temporary copy it starts for itself does.\n"
    "\n"
    "Options:\n"
    "  --source DIR     act as the program lying in DIR would when started\n"
    "                   without an argument (a disc mounted somewhere)\n"
    "  --ui=qt|console  the windows: Qt (the default with a display) or text in\n"
    "                   the terminal, driven line by line from standard input\n"
    "  --disc N=PATH    disc N (from 1) of the set lies in PATH; the installer\n"
    "                   looks there before the folders beside the first disc and\n"
    "                   the mounted media (repeatable)\n"
    "  --print-launch   print what would be started at the end as JSON\n"
    "                   ({\"file\": ..., \"params\": ...}) instead of starting it\n"
    "  --exit-at-first-paint\n"
    "                   end as soon as the first window has been painted (for\n"
    "                   measuring the time to the first window)\n"
    "  --help           this text\n"
    "  --version        the version\n";

[[noreturn]] void Usage(const std::string& message)
{
    platform::WriteStderr("tarn-setup: " + message + "\nTry 'tarn-setup --help'.\n");
    std::exit(2);
}

// A directory from the command line, made absolute: it is handed on to the
// temporary copy, which must find it whatever its own current directory. On
// POSIX a drive path (C:\...) is already a program path (the temporary copy
// gets one); anything else is a host path.
AnsiString DirectoryArgument(const AnsiString& arg)
{
    bool drivePath = arg.size() >= 2 && arg[1] == ':' && ((arg[0] | 0x20) >= 'a' && (arg[0] | 0x20) <= 'z');
#ifdef _WIN32
    AnsiString path = arg;
#else
    AnsiString path = drivePath ? HostUtf8ToAnsi(arg) : platform::PathFromHost(arg);
#endif
    if (path.empty() || drivePath || (path.size() >= 2 && path[1] == ':'))
        return path;
    AnsiString current = platform::CurrentDirectory();
    if (path[0] == '\\') // the current drive's root, or a network path
        return path.size() >= 2 && path[1] == '\\' ? path : current.substr(0, 2) + path;
    return AddBackslash(current) + path;
}

} // namespace

int main(int argc, char** argv)
{
    platform::InitializeProcess();
    StringList args = platform::ProgramArguments(argc, argv);
    StartupOptions options;
    options.ModulePath = platform::ModuleFileName();
    std::string ui;
    bool printLaunch = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const AnsiString& a = args[i];
        if (a == "--help") {
            platform::WriteStdout(kHelp);
            return 0;
        }
        if (a == "--version") {
            platform::WriteStdout("tarn-setup 0.1.0\n");
            return 0;
        }
        if (a == "--print-launch") {
            printLaunch = true;
        } else if (a == "--exit-at-first-paint") {
            ui::App().ExitAtFirstPaint = true;
        } else if (a.rfind("--ui=", 0) == 0) {
            ui = a.substr(5);
        } else if (a == "--ui" && i + 1 < args.size()) {
            ui = args[++i];
        } else if (a == "--disc" || a.rfind("--disc=", 0) == 0) {
            std::string value;
            if (a == "--disc") {
                if (i + 1 >= args.size())
                    Usage("--disc takes N=PATH");
                value = args[++i];
            } else {
                value = a.substr(7);
            }
            size_t eq = value.find('=');
            int n = 0;
            bool number = eq != std::string::npos && eq > 0 && eq <= 4;
            for (size_t k = 0; number && k < eq; ++k)
                number = value[k] >= '0' && value[k] <= '9';
            if (number)
                n = std::stoi(value.substr(0, eq));
            if (!number || n < 1 || eq + 1 >= value.size())
                Usage("--disc takes N=PATH with N from 1, not '" + Cp932ToUtf8Lossy(value) + "'");
            options.DiscPaths[n] = DirectoryArgument(value.substr(eq + 1));
        } else if (a.rfind("--source=", 0) == 0) {
            options.Source = DirectoryArgument(a.substr(9));
        } else if (a == "--source" && i + 1 < args.size()) {
            options.Source = DirectoryArgument(args[++i]);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            Usage("unknown option '" + Cp932ToUtf8Lossy(a) + "'");
        } else if (!options.Argument) {
            options.Argument = DirectoryArgument(a); // only the first argument counts
        }
    }
    if (!ui::UseBackend(ui))
        Usage(std::string("--ui takes ") + ui::BackendNames());

    ui::ConnectIconChooser();
    LaunchRequest launch;
    ui::App().Dispatch([&] { launch = RunStartup(options); });
    if (launch.File.empty())
        return 0;
    if (printLaunch) {
        tools::Json j = tools::Json::Object();
        j.Set("file", AnsiToHostUtf8(launch.File));
        j.Set("params", AnsiToHostUtf8(launch.Params));
        platform::WriteStdout(j.Dump() + "\n");
        return 0;
    }
    platform::ShellOpen(launch.File, launch.Params);
    return 0;
}
