#include "wizard/uninstall_run.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "wizard/shortcuts.h"

namespace tarn {


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

std::optional<AnsiString> RecordedInstallation(const TTarnInstallSet& set)
{
    AnsiString recorded = set.ReadRegString("InstallPath", "");
    if (recorded.empty() || !MayRemoveInstallation(recorded, set.Title))
        return std::nullopt;
    return AddBackslash(recorded);
}

RunOutcome RunUninstall(const TTarnInstallSet& set, const RunOptions& options, TFileOperation& fileOperation, RunHost& host)
{
    const AnsiString s = AddBackslash(options.Installation);
    // Nothing is touched unless the directory is an installation of this
    // game, and never a directory that holds the user's or the system's files.
    if (!MayRemoveInstallation(s, set.Title)) {
        host.Report(ReportKind::Error, Format(u8"%s は削除できません", { ExcludeTrailingBackslash(s) }));
        return RunOutcome::Failed;
    }

    host.Begin(set.Title + Sjis(u8" を削除しています"));
    if (!host.Step(Sjis(u8"ショートカットを削除しています...")))
        return RunOutcome::Aborted;
    if (options.Shortcuts)
        DeleteShortcuts(set, host);
    host.Pause(3000);
    host.BringToFront();

    // Out of S, so that it can go.
    host.LeaveDirectory(s);
    if (!host.Step(Sjis(u8"ファイルを削除しています...")))
        return RunOutcome::Aborted;

    // From here the run no longer stops for an abort.
    fileOperation.FromFiles = UninstallDeletionList(s, options.DeleteSave);
    host.Removing(fileOperation.FromFiles);
    fileOperation.ReportError = [&host](const AnsiString& message) { host.Report(ReportKind::Error, message); };
    fileOperation.Delete();
    fileOperation.ReportError = nullptr;

    host.Step(Sjis(u8"レジストリを削除しています..."));
    set.DeleteRegistryKey();
    host.RegistryDeleted();
    host.Pause(1000);
    return RunOutcome::Completed;
}

} // namespace tarn
