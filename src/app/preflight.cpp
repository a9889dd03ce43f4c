#include "app/preflight.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/windows_programs.h"
#include "setup/install_set.h"
#include "wizard/destination.h"
#include "wizard/game_discs.h"
#include "wizard/page_rules.h"

namespace tarn {

namespace {

std::string Megabytes(int64_t bytes)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

PreflightFinding LocaleFinding()
{
    platform::JapaneseLocale l = platform::FindJapaneseLocale();
    switch (l.State) {
    case platform::JapaneseLocaleState::System:
        return { "Japanese locale", Verdict::Fine, "ja_JP.UTF-8 of the system", "" };
    case platform::JapaneseLocaleState::Own:
        return { "Japanese locale", Verdict::Fine, "ja_JP.UTF-8 of the program's own, in " + l.LocPath, "" };
    case platform::JapaneseLocaleState::CanBeMade:
        return { "Japanese locale", Verdict::Fine, "none yet; made from the system's locale sources at the game's first start", "" };
    case platform::JapaneseLocaleState::Missing:
        break;
    }
    return { "Japanese locale", Verdict::Wanting,
             "none, and no locale sources to make one: the game's Japanese texts and file names will break",
             "install the package " + (l.Package.empty() ? std::string("locales") : l.Package) };
}

PreflightFinding FontFinding()
{
    std::vector<std::string> families = platform::JapaneseFontFamilies();
    if (families.empty())
        return { "Japanese fonts", Verdict::Wanting, "none found by fontconfig: the game's texts show as boxes",
                 "install the package fonts-ipafont-gothic (or fonts-noto-cjk)" };
    std::string list;
    for (size_t i = 0; i < families.size() && i < 4; ++i)
        list += (i ? ", " : "") + families[i];
    if (families.size() > 4)
        list += ", ...";
    return { "Japanese fonts", Verdict::Fine, list, "" };
}

PreflightFinding WineFinding(bool startPrograms)
{
    if (!startPrograms) {
        std::string wine = platform::ProgramOnPath("wine");
        if (wine.empty())
            return { "wine", Verdict::Wanting, "not found: the game, a Windows program, cannot start", "install the package wine" };
        return { "wine", Verdict::Fine, wine, "" };
    }
    platform::WineCheck w = platform::CheckWine();
    if (w.Path.empty())
        return { "wine", Verdict::Wanting, "not found: the game, a Windows program, cannot start", "install the package wine" };
    std::string detail = w.Path + (w.Version.empty() ? "" : " (" + w.Version + ")") + ": 64-bit programs " +
                         (w.Runs64 ? "run" : "do not run") + ", 32-bit programs " + (w.Runs32 ? "run" : "do not run");
    if (!w.Note.empty())
        detail += " (" + w.Note + ")";
    if (w.Runs32)
        return { "wine", Verdict::Fine, detail, "" };
    // The games of these discs are 32-bit programs.
    return { "wine", Verdict::Wanting, detail,
             "the game is a 32-bit program: as root, dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386" };
}

// A file made and removed again tells what the permission bits alone do not
// (a read-only mount, an ACL).
bool CanWriteIn(const AnsiString& dir)
{
    AnsiString probe = AddBackslash(dir) + ".tarn-check.tmp";
    if (!platform::File::Open(probe, platform::File::Mode::Create))
        return false;
    platform::RemoveFile(probe);
    return true;
}

void DiscFindings(const AnsiString& given, std::vector<PreflightFinding>& out)
{
    // A folder, an image or an install.dat, as the chooser takes them.
    AnsiString why;
    std::optional<GameDisc> found = GameDiscAt(given, &why);
    if (!found) {
        out.push_back({ "disc", Verdict::Blocks, AnsiToHostUtf8(why), "" });
        return;
    }
    const AnsiString disc = found->Place;
    TTarnInstallSet set;
    try {
        set.LoadFromFile(AddBackslash(disc) + "install.dat");
    } catch (const Exception& e) { // gone since it was looked at
        out.push_back({ "disc", Verdict::Blocks, AnsiToHostUtf8(e.Message()), "" });
        return;
    }
    out.push_back({ "disc", Verdict::Fine,
                    AnsiToHostUtf8(set.Title) + ", disc " + std::to_string(set.DiscIndex + 1) + " of " + std::to_string(set.DiscCount()) +
                        ", " + Host(disc),
                    "" });

    AnsiString dest = ProposeDestination(set.ReadRegString("InstallPath", ""), set.DefaultDir).Path;
    if (dest.empty()) {
        out.push_back({ "destination", Verdict::Wanting, "none proposed by the disc", "choose one in the wizard, or --dir" });
        return;
    }
    out.push_back({ "destination", Verdict::Fine, Host(dest), "" });
    AnsiString nearest = NearestExistingAncestor(dest);
    int64_t needed = ComputeNeededSize(set, true, true, true, true);
    int64_t free = nearest.empty() ? -1 : platform::DiskFreeBytes(nearest);
    if (free < 0)
        out.push_back({ "free space", Verdict::Blocks, "cannot be read at " + Host(dest), "" });
    else
        out.push_back({ "free space", free >= needed ? Verdict::Fine : Verdict::Blocks,
                        Megabytes(free) + " free, " + Megabytes(needed) + " needed for every component",
                        free >= needed ? "" : "free " + Megabytes(needed - free) + " or choose another destination" });
    bool writable = !nearest.empty() && CanWriteIn(nearest);
    const std::string where = Host(nearest.empty() ? dest : ExcludeTrailingBackslash(nearest));
    out.push_back({ "destination writable", writable ? Verdict::Fine : Verdict::Blocks,
                    where + (writable ? " can be written" : " cannot be written"),
                    writable ? "" : "choose a destination of your own (in your home)" });
    if (!nearest.empty()) {
        bool trash = platform::TrashAccepts(nearest);
        out.push_back({ "trash", trash ? Verdict::Fine : Verdict::Wanting,
                        trash ? "the uninstall can put the installation in the trash"
                              : "this mount has no trash: an uninstall would keep the files",
                        trash ? "" : "choose a destination on a disk with a trash (your home)" });
    }
    if (platform::DiscProgramsRunNatively()) {
        // The longest path of this disc's files below the destination.
        StringList files;
        ListFiles(AddBackslash(disc), 0x3F, true, true, files, true, false, false, "");
        size_t longest = 0;
        AnsiString longestPath;
        for (const AnsiString& f : files) {
            AnsiString path = AddBackslash(dest) + f.substr(AddBackslash(disc).size());
            size_t chars = 0;
            for (size_t i = 0; i < path.size(); i += CharLengthAt(path, i))
                ++chars;
            if (chars > longest)
                longest = chars, longestPath = path;
        }
        out.push_back({ "path length", longest < 260 ? Verdict::Fine : Verdict::Wanting,
                        "longest " + std::to_string(longest) + " characters of 260" + (longest ? ": " + Host(longestPath) : ""),
                        longest < 260 ? "" : "choose a shorter destination: programs of the game may not reach longer paths" });
    }
}

} // namespace

std::vector<PreflightFinding> RunPreflight(const std::optional<AnsiString>& disc, bool startPrograms)
{
    std::vector<PreflightFinding> out;
    if (!platform::DiscProgramsRunNatively()) {
        out.push_back(LocaleFinding());
        out.push_back(FontFinding());
        out.push_back(WineFinding(startPrograms));
    }
    if (disc)
        DiscFindings(*disc, out);
    bool menus = platform::ProgramManager::Open("PROGMAN", "PROGMAN") != nullptr;
    if (platform::DiscProgramsRunNatively())
        out.push_back({ "program manager", menus ? Verdict::Fine : Verdict::Wanting,
                        menus ? "answers" : "neither answers nor can shortcuts be made", menus ? "" : "the game is started from its folder" });
    else
        out.push_back({ "menu folders", menus ? Verdict::Fine : Verdict::Wanting, menus ? "can be written" : "cannot be written",
                        menus ? "" : "check the permissions of ~/.local/share/applications and ~/.config/menus" });
    return out;
}

bool PreflightBlocks(const std::vector<PreflightFinding>& findings)
{
    return std::any_of(findings.begin(), findings.end(), [](const PreflightFinding& f) { return f.Outcome == Verdict::Blocks; });
}

namespace {

const char* VerdictName(Verdict v) { return v == Verdict::Fine ? "fine" : v == Verdict::Wanting ? "wanting" : "blocks"; }

// Display width of UTF-8 text: a CJK character takes two columns.
size_t Columns(const std::string& text)
{
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        n += c >= 0xE3 ? 2 : 1;
    }
    return n;
}

} // namespace

std::string PreflightTable(const std::vector<PreflightFinding>& findings)
{
    size_t width = 0;
    for (const PreflightFinding& f : findings)
        width = std::max(width, Columns(f.Check));
    std::string out;
    int wanting = 0, blocking = 0;
    for (const PreflightFinding& f : findings) {
        std::string verdict = VerdictName(f.Outcome);
        out += f.Check + std::string(width + 2 - Columns(f.Check), ' ') + verdict + std::string(9 - verdict.size(), ' ') + f.Detail + "\n";
        if (!f.Remedy.empty())
            out += std::string(width + 2 + 9, ' ') + "-> " + f.Remedy + "\n";
        wanting += f.Outcome == Verdict::Wanting;
        blocking += f.Outcome == Verdict::Blocks;
    }
    if (blocking)
        out += "An install would fail: " + std::to_string(blocking) + " check(s) block it.\n";
    else if (wanting)
        out += "Nothing blocks an install; " + std::to_string(wanting) + " check(s) find something the game will want.\n";
    else
        out += "Nothing blocks an install, and the game has what it needs.\n";
    return out;
}

std::string PreflightJson(const std::vector<PreflightFinding>& findings)
{
    nlohmann::json checks = nlohmann::json::array();
    for (const PreflightFinding& f : findings)
        checks.push_back({ { "check", f.Check }, { "verdict", VerdictName(f.Outcome) }, { "detail", f.Detail }, { "remedy", f.Remedy } });
    nlohmann::json j = { { "checks", checks }, { "blocks", PreflightBlocks(findings) } };
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace tarn
