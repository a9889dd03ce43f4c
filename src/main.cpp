// tarn-setup (install.exe on Windows): the installer and launcher of the disc.
// Without options it behaves exactly as the program's start-up rules say;
// the options are additions for people and scripts.
#include <cstdio>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "app/preflight.h"
#include "app/verify_mode.h"
#include "app/startup.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/windows_programs.h"
#include "app/backend_choice.h"
#include "app/icon_choice_dialog.h"
#include "ui/application.h"

using namespace tarn;

namespace {

const char kHelp[] =
    "Usage: tarn-setup [OPTION]... [SOURCE_DIR]\n"
    "  or:  tarn-setup --check [--json] [DISC]\n"
    "  or:  tarn-setup --verify [--json] [--against-discs] [--disc N=PATH]... DIR\n"
    "  or:  tarn-setup [--silent|--very-silent] --repair [--disc N=PATH]... DIR\n"
    "  or:  tarn-setup --silent|--very-silent [OPTION]... [--source DIR | DIR]\n"
    "The installer and launcher of a game's distribution disc.\n"
    "\n"
    "Without SOURCE_DIR it acts as the program lying on the disc: it shows the\n"
    "launcher menu (or, beside an installed game, starts the uninstaller). When\n"
    "no install.dat lies beside it (the program installed elsewhere), it lists\n"
    "the discs of games it finds (beside its own folder, in the current\n"
    "directory, in the drives and on mounted media) and acts as the program on\n"
    "the disc chosen. With SOURCE_DIR it runs the installer (or uninstaller) on\n"
    "that directory, as the temporary copy it starts for itself does; a disc\n"
    "image or a disc's install.dat in its place means that disc's launcher.\n"
    "\n"
    "Options:\n"
    "  --source DIR     act as the program lying in DIR would when started\n"
    "                   without an argument (a disc mounted somewhere)\n"
    "%UI%"
    "  --disc N=PATH    disc N (from 1) of the set lies in PATH; the installer\n"
    "                   looks there before the folders beside the first disc and\n"
    "                   the mounted media (repeatable)\n"
    "  --wine-prefix DIR\n"
    "                   the Wine prefix the game's Windows programs run in (as\n"
    "                   WINEPREFIX does); default: one of the program's own for\n"
    "                   the game, made at the first start\n"
    "  --print-launch   print what would be started at the end as JSON\n"
    "                   ({\"file\": ..., \"params\": ...}) instead of starting it\n"
    "  --exit-at-first-paint\n"
    "                   end as soon as the first window has been painted (for\n"
    "                   measuring the time to the first window)\n"
    "  --check [DISC]   what this machine has for an install and for the game:\n"
    "                   the Japanese locale and fonts, wine, and with DISC (a\n"
    "                   folder, an image or an install.dat) the destination it\n"
    "                   proposes, its free space against every component, and\n"
    "                   whether it can be written and trashed; a table, or JSON\n"
    "                   with --json. Exit status 0 when nothing blocks an\n"
    "                   install, 1 otherwise\n"
    "  --verify DIR     check the installation DIR (or the one the registry\n"
    "                   records for the disc DIR) file by file and archive entry\n"
    "                   by archive entry against the record the install kept of\n"
    "                   it: one line per finding, CLASS<TAB>path (missing, size\n"
    "                   differs, content differs, unreadable, extra file; an\n"
    "                   archive entry as game.dat:NAME), then a summary; JSON\n"
    "                   with --json. Extra files (saves, the game's own) are\n"
    "                   told, never judged. Exit status 0 when nothing is wrong,\n"
    "                   6 when something is, 1 when the check cannot run\n"
    "  --against-discs  with --verify: compare with the discs (found as the\n"
    "                   install finds them, or given with --disc) instead of\n"
    "                   the record; the only way for an installation without one\n"
    "  --repair DIR     check the installation DIR, then copy again from the\n"
    "                   discs exactly the files and archive entries that are\n"
    "                   wrong, and check again; extra files and save.dat stay.\n"
    "                   In the windows, or without them with --silent (a disc\n"
    "                   found nowhere: exit status 5)\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Without a person (no windows, no questions; everything below needs one of\n"
    "these two):\n"
    "  --silent         install or remove, showing progress on standard error\n"
    "  --very-silent    the same, printing nothing but errors\n"
    "  --source DIR, DIR\n"
    "                   a disc to install from (its install.dat not installed),\n"
    "                   or with --uninstall an installation to remove; a host\n"
    "                   path or a drive path (C:\\...). Default: the program's\n"
    "                   own directory; when no disc lies there, exit status 2\n"
    "                   and the discs found are listed\n"
    "  --dir DEST       where to install (as typed into the wizard); default:\n"
    "                   what the wizard proposes. A folder that holds other\n"
    "                   files (and no installation of the game) is refused\n"
    "  --dir-not-empty-ok\n"
    "                   install into such a folder all the same\n"
    "  --components LIST\n"
    "                   data, sound and movie, comma-separated, or all or none;\n"
    "                   the program is always installed. Default: all\n"
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
    "\n"
    "  tarn-setup --very-silent /mnt/disc1 --disc 2=/mnt/disc2 --log install.log\n"
    "\n"
    "  tarn-setup --silent --uninstall ~/Games/Title --delete-save\n";

[[noreturn]] void Usage(const std::string& message)
{
    platform::WriteStderr("tarn-setup: " + message + "\nTry 'tarn-setup --help'.\n");
    std::exit(2);
}

// A directory from the command line, made absolute: it is handed on to the
// temporary copy, which must find it whatever its own current directory (and
// the wizard moves the current directory as it browses).
AnsiString DirectoryArgument(const std::string& arg) { return platform::PathFromTyped(arg); }

// The command line as read, before it is checked.
struct CommandLine {
    bool Help = false, Version = false, PrintLaunch = false, ExitAtFirstPaint = false;
    bool Silent = false, VerySilent = false, AllDiscs = false, ThisDisc = false;
    bool NoShortcuts = false, Uninstall = false, DeleteSave = false, NotEmptyOk = false;
    bool Check = false, Json = false, Verify = false, AgainstDiscs = false, Repair = false;
    std::string Ui, Source, Dest, Components, Log, WinePrefix;
    bool HasSource = false, HasDest = false, HasComponents = false;
    std::vector<std::string> Discs, Positional;
    // The options that need --silent or --very-silent, when given without.
    std::string UnattendedOnly;
};

CommandLine Parse(const std::vector<std::string>& args)
{
    CommandLine c;
    CLI::App app("tarn-setup");
    app.set_help_flag();
    app.allow_windows_style_options(false);
    app.add_flag("--help", c.Help);
    app.add_flag("--version", c.Version);
    app.add_flag("--print-launch", c.PrintLaunch);
    app.add_flag("--exit-at-first-paint", c.ExitAtFirstPaint);
    app.add_flag("--check", c.Check);
    app.add_flag("--json", c.Json);
    app.add_flag("--verify", c.Verify);
    app.add_flag("--against-discs", c.AgainstDiscs);
    app.add_flag("--repair", c.Repair);
    app.add_option("--ui", c.Ui);
    app.add_option("--wine-prefix", c.WinePrefix);
    auto* source = app.add_option("--source", c.Source);
    app.add_option("--disc", c.Discs)->allow_extra_args(false);
    app.add_flag("--silent", c.Silent)->excludes(app.add_flag("--very-silent", c.VerySilent));
    auto* dest = app.add_option("--dir", c.Dest);
    auto* components = app.add_option("--components", c.Components);
    auto* all = app.add_flag("--all-discs", c.AllDiscs);
    auto* self = app.add_flag("--this-disc", c.ThisDisc);
    all->excludes(self);
    auto* noShortcuts = app.add_flag("--no-shortcuts", c.NoShortcuts);
    auto* uninstall = app.add_flag("--uninstall", c.Uninstall);
    auto* deleteSave = app.add_flag("--delete-save", c.DeleteSave);
    auto* notEmptyOk = app.add_flag("--dir-not-empty-ok", c.NotEmptyOk);
    auto* log = app.add_option("--log", c.Log);
    app.add_option("dir", c.Positional);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        Usage(e.what());
    }
    c.HasSource = source->count() > 0, c.HasDest = dest->count() > 0, c.HasComponents = components->count() > 0;
    for (const CLI::Option* o : { dest, components, all, self, noShortcuts, uninstall, deleteSave, notEmptyOk, log })
        if (o->count() && c.UnattendedOnly.empty())
            c.UnattendedOnly = o->get_name();
    return c;
}

// --disc N=PATH into where disc N lies.
void ReadDiscPaths(const CommandLine& c, RunOptions& run)
{
    for (const std::string& value : c.Discs) {
        size_t eq = value.find('=');
        bool number = eq != std::string::npos && eq > 0 && eq <= 4;
        for (size_t k = 0; number && k < eq; ++k)
            number = value[k] >= '0' && value[k] <= '9';
        int n = number ? std::stoi(value.substr(0, eq)) : 0;
        if (n < 1 || eq + 1 >= value.size())
            Usage("--disc takes N=PATH with N from 1, not '" + value + "'");
        run.DiscPaths[n] = DirectoryArgument(value.substr(eq + 1));
    }
}

int RunWithoutAPerson(StartupOptions& options, const CommandLine& c)
{
    if (options.Source && options.Argument)
        Usage("give the source once: --source DIR or DIR");
    // The source is the directory worked on, whichever way it was given.
    if (options.Source)
        options.Argument = std::move(options.Source), options.Source.reset();
    UnattendedOptions u;
    u.VerySilent = c.VerySilent;
    u.Uninstall = c.Uninstall;
    u.DeleteSave = c.DeleteSave;
    u.Repair = c.Repair;
    if (c.Repair && c.Uninstall)
        Usage("--repair and --uninstall exclude each other");
    options.Run.Shortcuts = !c.NoShortcuts;
    options.Run.AcceptNonEmpty = c.NotEmptyOk;
    u.Understood.push_back(c.VerySilent ? "--very-silent" : "--silent");
    if (options.Argument)
        u.Understood.push_back("source " + platform::DisplayPath(*options.Argument));
    if (c.HasDest) {
        if (c.Dest.empty())
            Usage("--dir takes a directory");
        u.Destination = DirectoryArgument(c.Dest);
        u.Understood.push_back("--dir " + platform::DisplayPath(*u.Destination));
    }
    if (c.HasComponents) {
        u.Components = ParseComponents(c.Components);
        if (!u.Components)
            Usage("--components takes data, sound and movie (comma-separated), all or none, not '" + c.Components + "'");
        u.Understood.push_back("--components " + c.Components);
    }
    if (c.AllDiscs || c.ThisDisc) {
        u.AllDiscs = c.AllDiscs;
        u.Understood.push_back(c.AllDiscs ? "--all-discs" : "--this-disc");
    }
    for (const auto& [n, dir] : options.Run.DiscPaths)
        u.Understood.push_back("--disc " + std::to_string(n) + "=" + platform::DisplayPath(dir));
    for (auto [given, text] : { std::pair{ c.NoShortcuts, "--no-shortcuts" }, { c.Uninstall, "--uninstall" }, { c.Repair, "--repair" }, { c.DeleteSave, "--delete-save" },
                                { c.NotEmptyOk, "--dir-not-empty-ok" } })
        if (given)
            u.Understood.push_back(text);
    if (!c.Log.empty()) {
        u.LogFile = c.Log;
        u.Understood.push_back("--log " + u.LogFile);
    }
    if (c.PrintLaunch || !c.Ui.empty())
        u.Understood.push_back("(--ui and --print-launch have no use without windows)");
    return RunUnattendedStartup(options, u);
}

// What start-up asks for at the very end: printed, or started. In the console
// the temporary copy takes this process's place, so that it owns the terminal
// and the shell prompt comes back only when it ends.
int Launch(const LaunchRequest& launch, bool print)
{
    if (launch.File.empty())
        return 0;
    if (print) {
        nlohmann::json j = { { "file", AnsiToHostUtf8(launch.File) }, { "params", AnsiToHostUtf8(launch.Params) } };
        platform::WriteStdout(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        return 0;
    }
    if (launch.TemporaryCopy && std::string(ui::App().GetBackend().Name()) == "console") {
        std::string pending = platform::TakePendingInput();
        platform::ReplaceProcess(launch.File, launch.Params, pending);
    }
    platform::ShellOpen(launch.File, launch.Params);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    platform::InitializeProcess();
    std::vector<std::string> args = platform::ProgramArguments(argc, argv);
    // The start of a Windows program through Wine, as the menu's items ask for it.
    if (!args.empty() && args[0] == "--run-windows")
        return platform::RunWindowsProgramMode(std::vector<std::string>(args.begin() + 1, args.end()));
    CommandLine c = Parse(args);
    if (c.Help) {
        std::string help = kHelp;
        help.replace(help.find("%UI%"), 4, ui::BackendHelp());
        platform::WriteStdout(help);
        return 0;
    }
    if (c.Version) {
        platform::WriteStdout("tarn-setup " TARN_VERSION "\n");
        return 0;
    }
    if (c.Check) {
        std::optional<AnsiString> disc;
        if (!c.Positional.empty())
            disc = DirectoryArgument(c.Positional.front());
        std::vector<PreflightFinding> findings = RunPreflight(disc);
        platform::WriteStdout(c.Json ? PreflightJson(findings) : PreflightTable(findings));
        return PreflightBlocks(findings) ? 1 : 0;
    }
    if (c.Verify) {
        if (c.Positional.empty())
            Usage("--verify takes the installation (or its disc) to check");
        VerifyCommand verify;
        verify.Dir = DirectoryArgument(c.Positional.front());
        verify.Json = c.Json;
        verify.AgainstDiscs = c.AgainstDiscs;
        verify.ModulePath = platform::ModuleFileName();
        RunOptions run;
        ReadDiscPaths(c, run);
        verify.DiscPaths = run.DiscPaths;
        return RunVerifyCommand(verify);
    }
    if (c.Json)
        Usage("--json goes with --check or --verify");
    if (c.AgainstDiscs)
        Usage("--against-discs goes with --verify");
    if (c.Repair && c.Positional.empty() && !c.HasSource)
        Usage("--repair takes the installation (or its disc) to repair");
    if (!c.WinePrefix.empty()) {
        std::string prefix;
        if (!platform::HostPath(platform::PathFromTyped(c.WinePrefix), prefix) || prefix.empty())
            Usage("--wine-prefix takes a directory");
        platform::NameWinePrefix(prefix);
    }
    StartupOptions options;
    options.ModulePath = platform::ModuleFileName();
    if (std::string self; platform::HostPath(options.ModulePath, self))
        platform::SetWindowsProgramsStarter(self);
    ReadDiscPaths(c, options.Run);
    if (c.HasSource)
        options.Source = DirectoryArgument(c.Source);
    if (!c.Positional.empty())
        options.Argument = DirectoryArgument(c.Positional.front()); // only the first argument counts
    if (c.Silent || c.VerySilent)
        return RunWithoutAPerson(options, c);
    if (c.Repair) {
        // In the windows: the uninstaller of the installation, repairing at once.
        AnsiString discDir, reason;
        AnsiString installation = InstallationNamedBy(options.Argument ? *options.Argument : *options.Source, discDir, reason);
        if (installation.empty()) {
            platform::WriteStderr("tarn-setup: " + AnsiToHostUtf8(reason) + "\n");
            return 1;
        }
        options.Argument = installation, options.Source.reset();
        options.Run.Repair = true;
        if (!discDir.empty())
            options.Run.RepairStart = discDir;
    }
    if (!c.UnattendedOnly.empty())
        Usage(c.UnattendedOnly + " needs --silent or --very-silent");

    ui::App().ExitAtFirstPaint = c.ExitAtFirstPaint;
    if (!ui::UseBackend(c.Ui))
        Usage(std::string("--ui takes ") + ui::BackendNames());
    options.Ui = c.Ui;
    ui::ConnectIconChooser();
    LaunchRequest launch;
    ui::App().Dispatch([&] { launch = RunStartup(options); });
    return Launch(launch, c.PrintLaunch);
}
