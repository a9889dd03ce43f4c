#include "wizard/uninstall_run.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "wizard/shortcuts.h"

namespace tarn {

using ui::MsgType;

bool MayRemoveInstallation(const AnsiString& dir, const AnsiString& title)
{
    AnsiString s = ExcludeTrailingBackslash(dir);
    if (s.empty())
        return false;
    for (const AnsiString& protectedDir : platform::ProtectedDirectories())
        if (platform::DirectoryContains(AddBackslash(s), protectedDir))
            return false;
    TTarnInstallSet installed;
    try {
        installed.LoadFromFile(AddBackslash(s) + "install.dat");
    } catch (const Exception&) {
        return false;
    }
    return installed.Installed == 1 && installed.Title == title;
}

StringList UninstallDeletionList(const AnsiString& dir, bool deleteSave)
{
    AnsiString s = AddBackslash(dir);
    StringList list;
    if (deleteSave) {
        list.push_back(ExcludeTrailingBackslash(s));
        return list;
    }
    ListFiles(s, 0x3F, true, true, list, false, false, false, "");
    for (auto it = list.begin(); it != list.end(); ++it)
        if (SameText(ExtractFileName(*it), "save.dat")) {
            list.erase(it);
            break;
        }
    return list;
}

RunOutcome RunUninstall(const TTarnInstallSet& set, const UninstallChoices& choices, TFileOperation& fileOperation, RunHost& host,
                        const RunEvents& events)
{
    const AnsiString s = AddBackslash(choices.Directory);
    // Nothing is touched unless the directory is an installation of this
    // game, and never a directory that holds the user's or the system's files.
    if (!MayRemoveInstallation(s, set.Title)) {
        host.Ask(Format(u8"%s は削除できません", { ExcludeTrailingBackslash(s) }), MsgType::Error, ui::mbOK);
        host.ShowPage(7);
        return RunOutcome::Failed;
    }

    host.SetText(RunText::LabelDelTitle, set.Title + Sjis(u8" を削除しています"));
    host.SetVisible(RunControl::btnNext, false);
    // Back would lead from the last page into the install run.
    host.SetVisible(RunControl::btnBack, false);
    host.SetCaption(Sjis(u8"削除"));
    host.SetText(RunText::LabelDel, Sjis(u8"ショートカットを削除しています..."));
    host.ProcessMessages();
    if (host.AbortRequested())
        return RunOutcome::Aborted;

    if (choices.Shortcuts)
        DeleteShortcuts(set, host, events.ProgramManagerCommand);
    host.Wait(3000);
    host.BringToFront();

    // Out of S, so that it can go.
    host.MoveToDirectory(platform::WindowsDirectory());
    host.SetText(RunText::LabelDel, Sjis(u8"ファイルを削除しています..."));
    host.ProcessMessages();
    if (host.AbortRequested())
        return RunOutcome::Aborted;

    fileOperation.FromFiles = UninstallDeletionList(s, choices.DeleteSave);
    if (events.Deleting)
        events.Deleting(fileOperation.FromFiles);
    fileOperation.Delete();

    host.SetText(RunText::LabelDel, Sjis(u8"レジストリを削除しています..."));
    host.ProcessMessages();
    set.DeleteRegistryKey();
    if (events.RegistryDeleted)
        events.RegistryDeleted();
    host.Wait(1000);

    host.SetText(RunText::LabelExit, Sjis(u8"アンインストールが完了しました"));
    host.ShowPage(6);
    return RunOutcome::Completed;
}

} // namespace tarn
