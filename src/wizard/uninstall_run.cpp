#include "wizard/uninstall_run.h"

#include <algorithm>
#include <functional>
#include <set>
#include <unordered_set>

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/windows_programs.h"
#include "platform/sha256.h"
#include "wizard/manifest.h"
#include "wizard/shortcuts.h"

namespace tarn {

namespace {

bool HoldsProtectedFolder(const AnsiString& dir)
{
    for (const AnsiString& protectedDir : platform::ProtectedDirectories())
        if (platform::DirectoryContains(AddBackslash(dir), protectedDir))
            return true;
    return false;
}

// What an uninstall removes, entry by entry, from the record of the
// installation: a folder the install made and that holds nothing else goes
// as one (one move to the trash), everything else the record lists goes on
// its own, and what it does not list stays.
class Removal {
public:
    Removal(const TInstallManifest& manifest, const AnsiString& dir, bool deleteSave) : dir_(dir), deleteSave_(deleteSave)
    {
        for (const TInstallManifest::File& f : manifest.Files)
            owned_.insert(AnsiLowerCase(f.Path));
        for (const AnsiString& piece : manifest.ArchivePieces)
            owned_.insert(AnsiLowerCase(piece));
        // The archive's work file a killed merge may have left, and the old
        // archive set aside by a merge that could not delete it afterwards.
        owned_.insert(AnsiLowerCase(AnsiString(kVrWorkFile)));
        owned_.insert(AnsiLowerCase(AnsiString(kVrSetAsideFile)));
        for (const AnsiString& folder : manifest.Folders)
            made_.insert(AnsiLowerCase(folder));
    }

    // Fills Going (full paths) and Stayed (relative).
    void Collect()
    {
        StringList going;
        if (Walk("", going) && made_.count(""))
            Going.push_back(ExcludeTrailingBackslash(dir_));
        else
            for (const AnsiString& relative : going)
                Going.push_back(dir_ + relative);
    }

    StringList Going, Stayed;

private:
    bool Owned(const AnsiString& relative) const
    {
        if (deleteSave_ && SameText(relative, "save.dat"))
            return true;
        return owned_.count(AnsiLowerCase(relative)) > 0;
    }

    // The entries of folder (relative, "" or with a trailing backslash) that
    // go; true when everything in it goes.
    bool Walk(const AnsiString& folder, StringList& going)
    {
        bool all = true;
        StringList mine;
        // A folder that cannot be read is no empty folder: it would go whole,
        // with whatever of the person's it holds.
        for (const platform::DirEntry& e : SortedDirectoryOrFail(dir_ + folder)) {
            AnsiString relative = folder + e.Name;
            if ((e.Attributes & faDirectory) && !e.IsLink) {
                StringList inside;
                if (Walk(relative + "\\", inside) && made_.count(AnsiLowerCase(relative))) {
                    mine.push_back(relative);
                } else {
                    mine.insert(mine.end(), inside.begin(), inside.end());
                    all = false;
                }
            } else if (Owned(relative)) {
                mine.push_back(relative);
            } else {
                Stayed.push_back(relative);
                all = false;
            }
        }
        going.insert(going.end(), mine.begin(), mine.end());
        return all;
    }

    const AnsiString dir_;
    const bool deleteSave_;
    std::unordered_set<AnsiString> owned_, made_;
};

// The folders that became empty: those the install made, those that held
// what went, and the installation's own; deepest first.
void RemoveEmptyFolders(const TInstallManifest& manifest, const AnsiString& dir, const StringList& gone)
{
    std::set<AnsiString> unique(manifest.Folders.begin(), manifest.Folders.end());
    unique.insert("");
    for (const AnsiString& path : gone)
        for (AnsiString parent = ExtractFilePath(path); parent.size() > dir.size(); parent = ExtractFilePath(ExcludeTrailingBackslash(parent)))
            unique.insert(ExcludeTrailingBackslash(parent.substr(dir.size())));
    StringList folders(unique.begin(), unique.end());
    std::sort(folders.begin(), folders.end(), [](const AnsiString& a, const AnsiString& b) { return a.size() > b.size(); });
    for (const AnsiString& folder : folders)
        if (platform::DirectoryExists(dir + folder))
            platform::RemoveDir(ExcludeTrailingBackslash(dir + folder));
}

// The group is this installation's when every file the record names that is
// still there is as it was written (another install of the game rewrites
// them for itself; an uninstall stopped halfway removed some). A file that
// is there but cannot be read tells nothing: Unreadable, with the file and
// the reason in why.
enum class GroupCheck { This, Other, Unreadable };
GroupCheck GroupIsThis(const TInstallManifest& manifest, AnsiString& why)
{
    bool any = false;
    for (const TInstallManifest::GroupFile& g : manifest.Group) {
        if (!platform::FileExists(g.Path))
            continue;
        any = true;
        std::optional<platform::Sha256Digest> digest = HashFile(g.Path);
        if (!digest) {
            AnsiString reason = platform::LastErrorText();
            why = platform::ShownPath(g.Path) + (reason.empty() ? AnsiString() : ": " + reason);
            return GroupCheck::Unreadable;
        }
        if (platform::Sha256::Hex(*digest) != g.Sha256)
            return GroupCheck::Other;
    }
    return any ? GroupCheck::This : GroupCheck::Other;
}

bool RegistryNames(const TTarnInstallSet& set, const AnsiString& dir)
{
    AnsiString recorded = set.ReadRegString("InstallPath", "");
    return !recorded.empty() && SameText(AddBackslash(recorded), AddBackslash(dir));
}

// The shortcuts, then the registry record, when they are this installation's.
// emptyKey: the value is gone already (an uninstall interrupted after deleting
// it), and the game's key goes when nothing else is left in it.
void RemoveRecords(const TTarnInstallSet& set, bool group, bool registry, bool emptyKey, RunHost& host)
{
    host.Step(Sjis(u8"ショートカットを削除しています..."));
    if (group) {
        DeleteShortcuts(set, host);
        host.Pause(3000);
        host.BringToFront();
    }
    host.Step(Sjis(u8"レジストリを削除しています..."));
    if (registry) {
        set.DeleteRegistryKey();
        host.RegistryDeleted();
    } else if (emptyKey) {
        set.DeleteRegistryKey();
    }
    host.Pause(1000);
}

} // namespace

bool MayRemoveInstallation(const AnsiString& dir, const AnsiString& title)
{
    AnsiString s = ExcludeTrailingBackslash(dir);
    if (s.empty() || HoldsProtectedFolder(s))
        return false;
    TTarnInstallSet installed;
    try {
        installed.LoadFromFile(AddBackslash(s) + "install.dat");
    } catch (const Exception&) {
        return false;
    }
    return installed.Installed == 1 && installed.Title == title;
}

AnsiString SaveDataIn(const AnsiString& dir)
{
    std::vector<platform::DirEntry> entries;
    try {
        entries = SortedDirectoryOrFail(AddBackslash(dir));
    } catch (const Exception&) {
        // What cannot be seen may be there: it is kept unless asked for.
        return "save.dat";
    }
    for (const platform::DirEntry& e : entries)
        if (!(e.Attributes & faDirectory) && SameText(e.Name, "save.dat"))
            return e.Name;
    return AnsiString();
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
    platform::SetWindowsProgramsPrefix(set.RegistryKey, platform::GetEnv("WINEPREFIX"));
    // A link is removed as the folder it names.
    const AnsiString s = AddBackslash(platform::ResolvedPath(options.Installation));
    AnsiString unreadable;
    std::optional<TInstallManifest> manifest = TInstallManifest::Load(s, &unreadable);
    // Without its record the removal would take the whole folder, the
    // person's files with it: a record that is there must be read.
    if (!unreadable.empty()) {
        host.Report(ReportKind::Error, unreadable);
        return RunOutcome::Failed;
    }
    if (manifest && manifest->Title != set.Title)
        manifest.reset();
    // Nothing is touched unless the directory is an installation of this
    // game (or one whose uninstall was under way), and never a directory
    // that holds the user's or the system's files.
    const bool finishing = manifest && manifest->Uninstalling && !HoldsProtectedFolder(ExcludeTrailingBackslash(s));
    if (!finishing && !MayRemoveInstallation(s, set.Title)) {
        host.Report(ReportKind::Error, Format(u8"%s は削除できません", { platform::ShownPath(ExcludeTrailingBackslash(s)) }));
        return RunOutcome::Failed;
    }

    host.Begin(set.Title + Sjis(u8" を削除しています"));
    // Out of S, so that it can go.
    host.LeaveDirectory(s);
    if (!host.Step(Sjis(u8"ファイルを削除しています...")))
        return RunOutcome::Aborted;

    // From here the run no longer stops for an abort; a rerun after a kill
    // finishes it from the record.
    StringList stayed;
    if (manifest) {
        Removal removal(*manifest, s, options.DeleteSave);
        try {
            removal.Collect();
        } catch (const Exception& e) {
            // Nothing has gone yet: the installation stays whole.
            host.Report(ReportKind::Error, e.Message());
            return RunOutcome::Failed;
        }
        manifest->Uninstalling = true;
        manifest->Save();
        fileOperation.FromFiles = removal.Going;
        stayed = removal.Stayed;
    } else {
        fileOperation.FromFiles = UninstallDeletionList(s, options.DeleteSave);
    }
    host.Removing(fileOperation.FromFiles);
    fileOperation.ReportError = [&host](const AnsiString& message) { host.Report(ReportKind::Error, message); };
    fileOperation.Delete();
    fileOperation.ReportError = nullptr;

    // What could not go (no trash on that disk, no permission) stays, and so
    // do the records that lead to it.
    bool allGone = true, noneGone = true;
    for (const AnsiString& name : fileOperation.FromFiles) {
        bool there = platform::FileExists(name) || platform::DirectoryExists(name);
        allGone = allGone && !there;
        noneGone = noneGone && there;
    }
    if (!allGone) {
        // Still whole, it is an installation again; with a part gone
        // (install.dat perhaps) the record stays the journal through which
        // the next uninstall finishes it.
        if (manifest && noneGone) {
            manifest->Uninstalling = false;
            manifest->Save();
        }
        return RunOutcome::Failed;
    }
    if (manifest)
        RemoveEmptyFolders(*manifest, s, fileOperation.FromFiles);
    const bool registry = RegistryNames(set, s);
    bool group = registry;
    if (manifest) {
        AnsiString why;
        GroupCheck check = GroupIsThis(*manifest, why);
        if (check == GroupCheck::Unreadable) {
            // The files are gone; the record is the journal through which
            // the next uninstall removes the group and the registry value.
            host.Report(ReportKind::Error, why);
            return RunOutcome::Failed;
        }
        group = check == GroupCheck::This;
    }
    const bool emptyKey = !registry && manifest && !manifest->RegistryValue.empty() && set.ReadRegString("InstallPath", "").empty();
    RemoveRecords(set, options.Shortcuts && group, registry, emptyKey, host);
    if (manifest && options.Shortcuts && group)
        for (const TInstallManifest::GroupFile& g : manifest->Group)
            if (platform::FileExists(g.Path)) {
                // A menu left behind would lead to nothing: the record stays
                // the journal through which the next uninstall removes it.
                host.Report(ReportKind::Error, Sjis(u8"ショートカットの削除に失敗しました") + "\n" + platform::ShownPath(g.Path));
                return RunOutcome::Failed;
            }
    // So would a registry value: the next uninstall deletes it.
    if (registry && RegistryNames(set, s)) {
        host.Report(ReportKind::Error, Sjis(u8"レジストリを削除できませんでした") + "\nHKEY_CURRENT_USER\\Software\\" + set.RegistryKey);
        return RunOutcome::Failed;
    }
    if (manifest && !TInstallManifest::Remove(s)) {
        AnsiString reason = platform::LastErrorText();
        host.Report(ReportKind::Error, platform::ShownPath(TInstallManifest::FileFor(s)) + (reason.empty() ? AnsiString() : ": " + reason));
        return RunOutcome::Failed;
    }
    if (!stayed.empty())
        host.Kept(s, stayed);
    return RunOutcome::Completed;
}

} // namespace tarn
