// tarn-setup (install.exe on Windows): the installer and launcher of the disc.
// Without options it behaves exactly as the program's start-up rules say;
// the options are additions for people and scripts.
#include <cstdio>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "app/startup.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/backend_choice.h"
#include "ui/icon_choice_dialog.h"

using namespace tarn;

namespace {

const char kHelp[] =
    "Usage: tarn-setup [OPTION]... [SOURCE_DIR]\n"
    "       tarn-setup --silent|--very-silent [--source DIR | DIR] [--dir DEST]\n"
    "                  [--components LIST] [--all-discs|--this-disc] [--disc N=PATH]...\n"
    "                  [--no-shortcuts] [--uninstall] [--delete-save] [--log FILE]\n"
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
#ifdef _WIN32
    "  --ui=win32|console\n"
    "                   the windows: native ones (the default on a desktop) or\n"
    "                   text in the console, driven line by line from standard input\n"
#else
    "  --ui=qt|console  the windows: Qt (the default with a display) or text in\n"
    "                   the terminal, driven line by line from standard input\n"
#endif
    "  --disc N=PATH    disc N (from 1) of the set lies in PATH; the installer\n"
    "                   looks there before the folders beside the first disc and\n"
    "                   the mounted media (repeatable)\n"
    "  --print-launch   print what would be started at the end as JSON\n"
    "                   ({\"file\": ..., \"params\": ...}) instead of starting it\n"
    "  --exit-at-first-paint\n"
    "                   end as soon as the first window has been painted (for\n"
    "                   measuring the time to the first window)\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Without a person (no windows, no questions; everything below needs one of\n"
    "these two):\n"
    "  --silent         install or remove, showing progress on standard error\n"
    "  --very-silent    the same, printing nothing but errors\n"
    "  DIR, --source DIR\n"
    "                   a disc to install from (its install.dat not installed),\n"
    "                   or an installation to remove; a host path or a drive\n"
    "                   path (C:\\...). Default: the program's own directory\n"
    "  --dir DEST       where to install (as typed into the wizard); default:\n"
    "                   what the wizard proposes\n"
    "  --components LIST\n"
    "                   data, sound and movie, comma-separated, or all or none;\n"
    "                   the program is always installed. Default: none\n"
    "  --all-discs      every disc of the set (the default on disc 1 of several;\n"
    "                   wrong on any other disc)\n"
    "  --this-disc      only the disc in DIR\n"
    "  --no-shortcuts   make no program group (and remove none)\n"
    "  --uninstall      remove: DIR is the installation, or a disc whose game's\n"
    "                   installation (as the registry records it) is removed\n"
    "  --delete-save    the removal takes save.dat too (default: kept)\n"
    "  --log FILE       a UTF-8 log, one line per step with the local time;\n"
    "                   - for standard error\n"
    "\n"
    "Exit status: 0 done; 1 failed (the message on standard error); 2 wrong\n"
    "usage; 5 aborted: a disc of the set was found nowhere (unattended runs).\n"
    "\n"
    "Examples:\n"
    "  tarn-setup --silent /media/me/DISC1 --dir ~/Games/Title --components all\n"
    "  tarn-setup --very-silent /mnt/disc1 --disc 2=/mnt/disc2 --log install.log\n"
    "  tarn-setup --silent --uninstall ~/Games/Title --delete-save\n";

[[noreturn]] void Usage(const std::string& message)
{
    platform::WriteStderr("tarn-setup: " + message + "\nTry 'tarn-setup --help'.\n");
    std::exit(2);
}

// A directory from the command line, made absolute: it is handed on to the
// temporary copy, which must find it whatever its own current directory.
AnsiString DirectoryArgument(const std::string& arg) { return platform::PathFromTyped(arg); }

// What the unattended options said, before they are checked.
struct SilentArgs {
    bool VerySilent;
    std::string Dest;
    bool HasDest;
    std::string Components;
    bool HasComponents;
    bool AllDiscs, ThisDisc;
    std::string Log;
    bool PrintLaunch;
    std::string Ui;
};

int RunWithoutAPerson(StartupOptions& options, UnattendedOptions& u, const SilentArgs& a)
{
    if (options.Source && options.Argument)
        Usage("give the source once: --source DIR or DIR");
    // The source is the directory worked on, whichever way it was given.
    if (options.Source)
        options.Argument = std::move(options.Source), options.Source.reset();
    u.VerySilent = a.VerySilent;
    u.Understood.push_back(a.VerySilent ? "--very-silent" : "--silent");
    if (options.Argument)
        u.Understood.push_back("source " + platform::DisplayPath(*options.Argument));
    if (a.HasDest) {
        if (a.Dest.empty())
            Usage("--dir takes a directory");
        // Absolute now: the wizard moves the current directory as it browses.
        u.Destination = DirectoryArgument(a.Dest);
        u.Understood.push_back("--dir " + platform::DisplayPath(*u.Destination));
    }
    if (a.HasComponents) {
        u.Components = ParseComponents(a.Components);
        if (!u.Components)
            Usage("--components takes data, sound and movie (comma-separated), all or none, not '" + a.Components + "'");
        u.Understood.push_back("--components " + a.Components);
    }
    if (a.AllDiscs || a.ThisDisc) {
        u.AllDiscs = a.AllDiscs;
        u.Understood.push_back(a.AllDiscs ? "--all-discs" : "--this-disc");
    }
    for (const auto& [n, dir] : options.DiscPaths)
        u.Understood.push_back("--disc " + std::to_string(n) + "=" + platform::DisplayPath(dir));
    if (u.NoShortcuts)
        u.Understood.push_back("--no-shortcuts");
    if (u.Uninstall)
        u.Understood.push_back("--uninstall");
    if (u.DeleteSave)
        u.Understood.push_back("--delete-save");
    if (!a.Log.empty()) {
        u.LogFile = a.Log;
        u.Understood.push_back("--log " + u.LogFile);
    }
    if (a.PrintLaunch || !a.Ui.empty())
        u.Understood.push_back("(--ui and --print-launch have no use without windows)");
    return RunUnattendedStartup(options, u);
}

} // namespace

int main(int argc, char** argv)
{
    platform::InitializeProcess();
    std::vector<std::string> args = platform::ProgramArguments(argc, argv);
    StartupOptions options;
    options.ModulePath = platform::ModuleFileName();

    CLI::App app("tarn-setup");
    app.set_help_flag();
    app.allow_windows_style_options(false);
    bool help = false, version = false, printLaunch = false, exitAtFirstPaint = false;
    bool silent = false, verySilent = false, allDiscs = false, thisDisc = false;
    std::string ui, source, dest, components, log;
    std::vector<std::string> discs, positional;
    UnattendedOptions unattended;
    app.add_flag("--help", help);
    app.add_flag("--version", version);
    app.add_flag("--print-launch", printLaunch);
    app.add_flag("--exit-at-first-paint", exitAtFirstPaint);
    app.add_option("--ui", ui);
    app.add_option("--source", source);
    app.add_option("--disc", discs)->allow_extra_args(false);
    auto* silentFlag = app.add_flag("--silent", silent);
    auto* verySilentFlag = app.add_flag("--very-silent", verySilent);
    silentFlag->excludes(verySilentFlag);
    auto* destOption = app.add_option("--dir", dest);
    auto* componentsOption = app.add_option("--components", components);
    auto* allFlag = app.add_flag("--all-discs", allDiscs);
    auto* thisFlag = app.add_flag("--this-disc", thisDisc);
    allFlag->excludes(thisFlag);
    auto* noShortcutsFlag = app.add_flag("--no-shortcuts", unattended.NoShortcuts);
    auto* uninstallFlag = app.add_flag("--uninstall", unattended.Uninstall);
    auto* deleteSaveFlag = app.add_flag("--delete-save", unattended.DeleteSave);
    auto* logOption = app.add_option("--log", log);
    app.add_option("dir", positional);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        Usage(e.what());
    }
    if (help) {
        platform::WriteStdout(kHelp);
        return 0;
    }
    if (version) {
        platform::WriteStdout("tarn-setup 0.1.0\n");
        return 0;
    }
    ui::App().ExitAtFirstPaint = exitAtFirstPaint;
    for (const std::string& value : discs) {
        size_t eq = value.find('=');
        int n = 0;
        bool number = eq != std::string::npos && eq > 0 && eq <= 4;
        for (size_t k = 0; number && k < eq; ++k)
            number = value[k] >= '0' && value[k] <= '9';
        if (number)
            n = std::stoi(value.substr(0, eq));
        if (!number || n < 1 || eq + 1 >= value.size())
            Usage("--disc takes N=PATH with N from 1, not '" + value + "'");
        options.DiscPaths[n] = DirectoryArgument(value.substr(eq + 1));
    }
    if (app.count("--source"))
        options.Source = DirectoryArgument(source);
    if (!positional.empty())
        options.Argument = DirectoryArgument(positional.front()); // only the first argument counts

    if (!silent && !verySilent) {
        for (const CLI::Option* o : { destOption, componentsOption, allFlag, thisFlag, noShortcutsFlag, uninstallFlag, deleteSaveFlag, logOption })
            if (o->count())
                Usage(o->get_name() + " needs --silent or --very-silent");
    } else {
        return RunWithoutAPerson(options, unattended, { verySilent, dest, destOption->count() > 0, components,
                                                       componentsOption->count() > 0, allDiscs, thisDisc, log, printLaunch, ui });
    }
    if (!ui::UseBackend(ui))
        Usage(std::string("--ui takes ") + ui::BackendNames());

    ui::ConnectIconChooser();
    LaunchRequest launch;
    ui::App().Dispatch([&] { launch = RunStartup(options); });
    if (launch.File.empty())
        return 0;
    if (printLaunch) {
        nlohmann::json j = { { "file", AnsiToHostUtf8(launch.File) }, { "params", AnsiToHostUtf8(launch.Params) } };
        platform::WriteStdout(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        return 0;
    }
    platform::ShellOpen(launch.File, launch.Params);
    return 0;
}
