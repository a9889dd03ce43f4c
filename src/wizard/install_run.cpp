#include "wizard/install_run.h"

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_rules.h"
#include "wizard/destination.h"
#include "wizard/disc_finder.h"
#include "wizard/shortcuts.h"
#include "wizard/title_icon.h"

namespace tarn {

using ui::MsgType;

namespace {

// Files up to this size are counted on the bar before they are copied; larger
// ones move it piece by piece while they are copied, with the window's
// messages handled between the pieces.
constexpr int64_t kWholeFileProgress = int64_t(8) << 20;

// A directory with all its missing parents. A path of fewer than three
// characters (a drive, a root) counts as existing.
bool CreateDirectoryTree(const AnsiString& dir)
{
    AnsiString d = ExcludeTrailingBackslash(dir);
    if (d.empty())
        throw EOSError(u8"ディレクトリ名がありません", {});
    if (d.size() < 3)
        return true;
    return platform::ForceDirectories(d);
}

// The entries of an archive, without its end marker.
int32_t EntryCount(TVrFileCollection& archive)
{
    int32_t n = 0;
    for (int32_t i = 0; i < archive.Count(); ++i)
        if (archive.Items(i).Name() != kVrEndMarker)
            ++n;
    return n;
}

RunOutcome DirectoryFailure(RunHost& host)
{
    host.Ask(Sjis(u8"ディレクトリを作成できませんでした"), MsgType::Warning, ui::mbOK);
    host.Close(ui::mrOk);
    return RunOutcome::Failed;
}

} // namespace

StringList FilesToCopy(const AnsiString& sourceDir, const InstallChoices& choices)
{
    AnsiString s = AddBackslash(sourceDir);
    StringList files;
    ListFiles(s, 0x2F, true, true, files, true, false, false, "");
    // Walked from the last entry to the first, as the rules remove entries.
    for (size_t i = files.size(); i-- > 0;) {
        bool keep = true;
        switch (DiscFileKindOf(files[i], s)) {
        case TDiscFileKind::NotCopied: keep = false; break;
        case TDiscFileKind::Sound: keep = choices.Sound; break;
        case TDiscFileKind::Movie: keep = choices.Movie; break;
        case TDiscFileKind::Program: break;
        }
        if (!keep)
            files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return files;
}

RunOutcome RunInstall(TProgramState& state, const InstallChoices& choices, RunHost& host, const RunEvents& events)
{
    TTarnInstallSet& set = state.InstallSet;
    const AnsiString startS = AddBackslash(state.SourceDir);
    const AnsiString t = AddBackslash(DestinationFromText(choices.Destination));

    host.SetVisible(RunControl::btnBack, false);
    host.SetVisible(RunControl::btnNext, false);
    host.SetCaption(Sjis(u8"ファイルコピー"));
    host.ProcessMessages();
    host.SetProgressRange(choices.NeededSize);

    // Without a destination every file would land in the root of the current drive.
    if (ExcludeTrailingBackslash(t).empty())
        return DirectoryFailure(host);

    if (!state.GameArchive)
        state.GameArchive = std::make_unique<TVrFileCollection>();
    TVrFileCollection& source = *state.GameArchive;
    // The group's icon comes from the first disc's archive, which holds the title picture.
    const std::string iconPng = source.Stream ? TitleIconPng(set, source) : std::string();

    std::unique_ptr<TVrFileCollection> target;
    if (choices.Data) {
        target = std::make_unique<TVrFileCollection>();
        target->Open(t + "game.dat", true);
        target->OnProgress = [&host](TVrFileCollection&, TVrFile&, int32_t size, bool& abort) {
            host.StepProgress(size);
            host.SetText(RunText::LabelCopy, Sjis(u8"データファイルを構築中..."));
            host.ProcessMessages();
            abort = host.AbortRequested();
        };
        // Writing the finished archive out to the disk takes a while too.
        target->OnFlushing = [&host] { host.ProcessMessages(); };
    }

    const int32_t discCount = set.DiscCount();
    const DiscFinder finder(startS, state.DiscPaths, set);
    AnsiString s = startS;
    if (events.DiscFound)
        events.DiscFound(set.DiscIndex, s, {});
    for (int32_t i = 0; i < discCount; ++i) {
        if (!choices.AllDiscs && i != set.DiscIndex)
            continue;
        if (set.DiscIndex != i) {
            source.Open("");
            std::optional<DiscFinder::Found> found;
            for (;;) {
                found = finder.Find(i);
                if (found)
                    break;
                if (events.DiscMissing && events.DiscMissing(i, finder.Candidates(i))) {
                    host.Close(ui::mrAbort);
                    return RunOutcome::Aborted;
                }
                int answer = host.Ask(Format(u8"ディスク%dを入れてからOKをクリックしてください", { i + 1 }), MsgType::Information,
                                      ui::mbOK | ui::mbAbort);
                if (answer == ui::mrOk) {
                    host.Wait(500);
                    continue;
                }
                if (host.Ask(Sjis(u8"インストールを中断しますか？"), MsgType::Confirmation, ui::mbYes | ui::mbNo) == ui::mrYes) {
                    host.Close(ui::mrAbort);
                    return RunOutcome::Aborted;
                }
            }
            s = found->Dir;
            set = std::move(found->Description);
            if (events.DiscFound)
                events.DiscFound(i, s, finder.Candidates(i));
            source.Open(s + "game.dat");
        }

        const bool ownProgram = !platform::DiscProgramsRunNatively() && !state.ModulePath.empty();
        for (const AnsiString& f : FilesToCopy(s, choices)) {
            AnsiString relative = f.substr(s.size());
            // Where the discs' installer cannot run, the running program stands in for it.
            AnsiString from = ownProgram && SameText(relative, "install.exe") ? state.ModulePath : f;
            int64_t size = FileSizeOf(from);
            const bool inPieces = size > kWholeFileProgress;
            if (!inPieces)
                host.StepProgress(size);
            host.SetText(RunText::LabelCopy, Format(u8"%s をコピー中...", { ExtractFileName(f) }));
            host.ProcessMessages();
            if (host.AbortRequested())
                return RunOutcome::Aborted;
            AnsiString to = t + relative;
            if (!CreateDirectoryTree(ExtractFilePath(to)))
                return DirectoryFailure(host);
            int64_t counted = 0;
            platform::CopyProgress progress;
            if (inPieces)
                progress = [&](int64_t copied) {
                    host.StepProgress(copied - counted);
                    counted = copied;
                    host.ProcessMessages();
                };
            CopyOutcome outcome = CopyOutcome::Failed;
            try {
                outcome = CopyIfChangedOutcome(from, to, true, progress);
            } catch (const Exception&) {
                outcome = CopyOutcome::Failed;
            }
            if (inPieces && size > counted)
                host.StepProgress(size - counted);
            if (events.FileCopied)
                events.FileCopied(from, to, size, outcome);
            if (outcome == CopyOutcome::Failed) {
                // An installation with a file missing would look complete: ask.
                int answer = host.Ask(Format(u8"%s をコピーできませんでした。インストールを続けますか？", { ExtractFileName(f) }),
                                      MsgType::Confirmation, ui::mbYes | ui::mbNo);
                if (answer != ui::mrYes) {
                    host.Close(ui::mrAbort);
                    return RunOutcome::Aborted;
                }
            }
        }

        if (target) {
            CreateDirectoryTree(t);
            const int32_t before = EntryCount(*target);
            target->Merge(source);
            if (host.AbortRequested())
                return RunOutcome::Aborted;
            if (events.ArchiveMerged)
                events.ArchiveMerged(i, EntryCount(source), before, EntryCount(*target));
        }
    }
    target.reset();

    set.Installed = 1;
    set.SaveToFile(t + "install.dat");

    host.SetText(RunText::LabelCopyCap, Sjis(u8"ショートカットを作成しています"));
    host.SetVisible(RunControl::LabelCopy, false);
    host.SetVisible(RunControl::Progress, false);
    host.ProcessMessages();
    if (choices.Shortcuts)
        CreateShortcuts(set, t, iconPng, host, events.ProgramManagerCommand);
    host.Wait(2000);
    host.BringToFront();

    set.WriteRegString("InstallPath", t);
    if (events.RegistryWritten)
        events.RegistryWritten("InstallPath", t);
    host.SetText(RunText::LabelCopyCap, Sjis(u8"レジストリを更新しています"));
    host.ProcessMessages();
    host.Wait(1000);

    host.ShowPage(6);
    return RunOutcome::Completed;
}

} // namespace tarn
