// Windows programs started where they do not run natively (Linux: through
// Wine): what they need to run as on a Japanese Windows, the checks of it,
// and the start itself.
//
// On Linux a Windows program (the game from its menu entry and from the
// launcher, a setup program on a disc, an uninstaller, a read-me that is a
// program) runs
// - under LC_ALL=ja_JP.UTF-8, the system's locale when it has one, else one
//   the program makes once with localedef into OwnLocaleDirectory() (LOCPATH
//   then names that folder), so that Wine's ANSI code page is 932;
// - in a Wine prefix: the one named for the game (--wine-prefix or
//   WINEPREFIX at install time), else one of the program's own for the game
//   (OwnPrefixDirectory), never silently ~/.wine. A prefix the program makes
//   is made without asking for anything to be downloaded and gets font
//   replacements for the Japanese faces games ask for by name.
// The preparation is done once and kept; every later start only looks.
// On Windows every check answers "present" and nothing is prepared.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"

namespace tarn::platform {

// ---- the Japanese locale ----

enum class JapaneseLocaleState {
    System,    // the system has ja_JP.UTF-8 (where LOCPATH, when set, looks)
    Own,       // the program's own, made earlier, in OwnLocaleDirectory()
    CanBeMade, // neither, but the locale sources are there: made at the first start
    Missing,   // neither, and no locale sources: Package must be installed
};

struct JapaneseLocale {
    JapaneseLocaleState State = JapaneseLocaleState::Missing;
    std::string LocPath; // Own: the folder LOCPATH must name (host path)
    std::string Package; // Missing: the package that brings the sources ("locales")
};

// Looks, and changes nothing. Quick (no program is started).
JapaneseLocale FindJapaneseLocale();
// $XDG_DATA_HOME/tarn-setup/locale (host path).
std::string OwnLocaleDirectory();
// Makes ja_JP.UTF-8 (and its normalised name ja_JP.utf8) in dir with
// localedef from the system's locale sources; dir is created. Once there,
// it is kept. False with the reason (UTF-8) when it cannot be made.
bool MakeJapaneseLocale(const std::string& dir, std::string& reason);
// For the installation's completion page and log: what a Windows program
// started from it will lack (CP932 text), "" when nothing.
AnsiString JapaneseLocaleWanting();
// Everything a Windows program started from an installation will lack
// here (the locale, Japanese fonts, wine), a CP932 sentence each naming
// the package that brings it; empty on Windows and where nothing is.
StringList WindowsProgramsWanting();

// ---- Japanese fonts ----

// The families (their ASCII names) of the Japanese fonts fontconfig finds,
// in the order it lists them; empty without fontconfig or fonts.
std::vector<std::string> JapaneseFontFamilies();

// The face names Windows programs ask for with the family that stands in
// for each, chosen from families: a gothic for the gothic faces, a mincho
// for the mincho ones, a proportional one for the proportional faces where
// there is one, else what there is. Empty when families is.
std::vector<std::pair<std::string, std::string>> JapaneseFontReplacements(const std::vector<std::string>& families);

// ---- Wine ----

struct WineCheck {
    std::string Path;    // absolute path of wine, "" when there is none
    std::string Version; // what wine --version says, first line
    bool Runs64 = false; // a PE32+ program ran and gave its exit code
    bool Runs32 = false; // a PE32 program did
    std::string Note;    // what wine says it lacks ("wine32 is missing"), UTF-8
};

// Windows: no path, both runs true (natively).
// Looks for wine and starts two tiny programs (32- and 64-bit) in a prefix
// of the check's own, kept in the cache folder: the first check makes it
// (seconds), later ones take well under a second each.
WineCheck CheckWine();

// ---- the prefix and the start ----

// Which prefix the Windows programs of a game use from now on in this
// process (ShellOpen and the program manager's items): named when not
// empty (the person's choice, --wine-prefix or WINEPREFIX), else the
// program's own for gameKey (the description's registry key). Called by the
// install and uninstall runs and by the launcher.
void SetWindowsProgramsPrefix(std::string_view gameKey, std::string_view named);
// The person's choice of prefix (--wine-prefix): WINEPREFIX for this
// process and the programs it starts (the temporary copy, the runs). An
// absolute host path. Nothing on Windows.
void NameWinePrefix(const std::string& hostDir);
// The prefix set so (host path); without a call, WINEPREFIX or the own
// prefix of "default". "" on Windows.
std::string WindowsProgramsPrefix();
// $XDG_DATA_HOME/tarn-setup/wine/<key made safe as a folder name>.
std::string OwnPrefixDirectory(std::string_view gameKey);

// Prepares what a Windows program needs (the locale, the prefix and, in a
// prefix made here, its font replacements) and replaces this process by
// wine running program (host path) with args. Returns only when that
// cannot be done, with the reason (UTF-8). The program's hidden start mode
// (tarn-setup --run-windows [--wine-prefix DIR] PROGRAM [ARGS]) and the
// items of the menu come here.
std::string ExecWindowsProgram(const std::string& prefix, const std::string& program, const std::vector<std::string>& args);

// The start mode's arguments (after --run-windows): [--wine-prefix DIR]
// PROGRAM [ARGS...]. Returns the exit status when the program could not be
// started (the reason on standard error).
int RunWindowsProgramMode(const std::vector<std::string>& args);

// The program that starts Windows programs for the menu's items: a native
// program that stays (set by start-up to the running program when it is
// not a temporary copy). Items of an installation prefer the installation's
// own install.exe when it is such a program.
void SetWindowsProgramsStarter(std::string hostPath);

} // namespace tarn::platform
