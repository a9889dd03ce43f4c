#include "wizard/shortcuts.h"

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/program_manager_commands.h"

namespace tarn {

namespace {

const char kService[] = "PROGMAN";

// A text between quotation marks (code 34), as the program manager takes the arguments of an item.
AnsiString Quoted(const AnsiString& text) { return '"' + text + '"'; }

// A title that is empty, only dots or holds a separator could name a folder
// other than the group's own: the whole menu folder, or a parent of it.
bool CouldNameAnotherFolder(const AnsiString& title)
{
    if (title.find_first_not_of('.') == AnsiString::npos)
        return true;
    for (size_t i = 0; i < title.size(); i += CharLengthAt(title, i))
        if (title[i] == '/' || IsPathSeparator(title, static_cast<int>(i + 1)))
            return true;
    return false;
}

} // namespace

StringList CreateShortcutCommands(const TTarnInstallSet& set, const AnsiString& shortDir)
{
    const AnsiString& title = set.Title;
    const AnsiString installer = shortDir + "install.exe";
    StringList commands;
    commands.push_back("[CreateGroup(" + title + ")]");
    commands.push_back("[ShowGroup(" + title + ",1)]");
    if (StaysBelow(set.GameExe))
        commands.push_back("[AddItem(" + Quoted(shortDir + set.GameExe) + "," + Quoted(title) + ")]");
    commands.push_back("[AddItem(" + Quoted(installer) + "," + Quoted(title + Sjis(u8"のアンインストール")) + "," +
                       Quoted(installer) + ",1)]");
    if (!set.ReadmeFile.empty() && StaysBelow(set.ReadmeFile))
        commands.push_back("[AddItem(" + Quoted(shortDir + set.ReadmeFile) + "," + Quoted(Sjis(u8"お読みください")) + ")]");
    return commands;
}

AnsiString DeleteShortcutCommand(const AnsiString& title)
{
    // Where groups are folders named by their titles, a title with a
    // separator could delete another folder; where each group carries its
    // mark, the group made for the title is the only one it can name.
    if (platform::GroupsFoundByTheirMark() ? title.empty() : CouldNameAnotherFolder(title))
        return AnsiString();
    return "[DeleteGroup(" + title + ")]";
}

AnsiString ShortcutDirectory(const AnsiString& editDir)
{
    AnsiString dir = platform::ShortPath(editDir);
    if (!IsPathSeparator(dir, static_cast<int>(dir.size())))
        dir += '\\';
    return dir;
}

bool CreateShortcuts(const TTarnInstallSet& set, const AnsiString& editDir, const std::string& iconPng, RunHost& host)
{
    std::unique_ptr<platform::ProgramManager> manager = platform::ProgramManager::Open(kService, kService);
    if (!manager) {
        host.Report(ReportKind::Information, Sjis(u8"ショートカットの作成に失敗しました"));
        return false;
    }
    const AnsiString dir = ShortcutDirectory(editDir);
    for (const AnsiString* file : { &set.GameExe, &set.ReadmeFile })
        if (!StaysBelow(*file))
            host.LeftOut(*file);
    if (!iconPng.empty())
        manager->SetIconPicture(iconPng);
    size_t items = 0;
    for (const AnsiString& command : CreateShortcutCommands(set, dir)) {
        host.ProgramManagerCommand(command);
        manager->Execute(command);
        items += command.starts_with("[AddItem(") ? 1 : 0;
    }
    // A program manager may take every command and make nothing (one that
    // refuses the title, or forgets what it was told): only a group that is
    // there counts as made.
    if (!manager->GroupExists(set.Title)) {
        host.Report(ReportKind::Information, Sjis(u8"ショートカットの作成に失敗しました"));
        return false;
    }
    // The game is installed whatever became of its items: that some are
    // missing (a full disk, a folder that refused a file) is only told.
    if (manager->ItemCount(set.Title) < items)
        host.Report(ReportKind::Warning, Sjis(u8"ショートカットの一部を作成できませんでした"));
    if (!set.ReadmeFile.empty() && set.OpenReadme != 0 && StaysBelow(set.ReadmeFile))
        host.OpenDocument(Quoted(dir + set.ReadmeFile));
    return true;
}

bool DeleteShortcutGroup(const TTarnInstallSet& set, RunObserver& observer)
{
    std::unique_ptr<platform::ProgramManager> manager = platform::ProgramManager::Open(kService, kService);
    if (!manager)
        return false;
    AnsiString command = DeleteShortcutCommand(set.Title);
    if (command.empty())
        return true;
    observer.ProgramManagerCommand(command);
    manager->Execute(command);
    return true;
}

void DeleteShortcuts(const TTarnInstallSet& set, RunHost& host)
{
    if (!DeleteShortcutGroup(set, host))
        host.Report(ReportKind::Information, Sjis(u8"ショートカットの削除に失敗しました"));
}

} // namespace tarn
