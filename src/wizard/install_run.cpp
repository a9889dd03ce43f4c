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
#include "wizard/install_rollback.h"
#include "wizard/page_rules.h"
#include "wizard/shortcuts.h"
#include "wizard/title_icon.h"

namespace tarn {

namespace {

// Files up to this size are counted on the bar before they are copied; larger
// ones move it piece by piece while they are copied, and the run listens
// between the pieces.
constexpr int64_t kWholeFileProgress = int64_t(8) << 20;

// The entries of an archive, without its end marker.
int32_t EntryCount(TVrFileCollection& archive)
{
    int32_t n = 0;
    for (int32_t i = 0; i < archive.Count(); ++i)
        if (archive.Items(i).Name() != kVrEndMarker)
            ++n;
    return n;
}

class InstallRun {
public:
    InstallRun(TProgramState& state, const RunOptions& options, RunHost& host)
        : state_(state), set_(state.InstallSet), options_(options), host_(host), startS_(AddBackslash(state.SourceDir)),
          t_(AddBackslash(DestinationFromText(options.Destination)))
    {
    }

    RunOutcome Run();

private:
    RunOutcome Work();
    void OpenTarget();
    bool FetchDisc(int index);
    RunOutcome CopyDisc();
    RunOutcome CopyOne(const AnsiString& file);
    RunOutcome MergeDisc(int index);
    void Claim();
    bool MakeDirectory(const AnsiString& dir);
    RunOutcome DirectoryFailure();

    TProgramState& state_;
    TTarnInstallSet& set_;
    const RunOptions& options_;
    RunHost& host_;
    const AnsiString startS_, t_;
    AnsiString s_; // the disc read now
    std::unique_ptr<InstallRollback> rollback_;
    std::unique_ptr<TVrFileCollection> target_;
    std::string iconPng_;
    bool mergeStopped_ = false;
};

RunOutcome InstallRun::Run()
{
    RunOutcome outcome;
    try {
        outcome = Work();
    } catch (...) {
        target_.reset();
        if (rollback_)
            rollback_->RollBack(set_, host_);
        throw;
    }
    target_.reset();
    if (outcome != RunOutcome::Completed && rollback_)
        rollback_->RollBack(set_, host_);
    return outcome;
}

RunOutcome InstallRun::Work()
{
    host_.Begin(Sjis(u8"ファイルをコピーしています"));
    host_.BeginProgress(ComputeNeededSize(set_, options_.AllDiscs, options_.Data, options_.Sound, options_.Movie));
    // Without a destination every file would land in the root of the current drive.
    if (ExcludeTrailingBackslash(t_).empty())
        return DirectoryFailure();
    rollback_ = std::make_unique<InstallRollback>(t_, set_);
    OpenTarget();

    const int32_t discCount = set_.DiscCount();
    s_ = startS_;
    host_.DiscFound(set_.DiscIndex, s_, {});
    for (int32_t i = 0; i < discCount; ++i) {
        if (!options_.AllDiscs && i != set_.DiscIndex)
            continue;
        if (set_.DiscIndex != i && !FetchDisc(i))
            return RunOutcome::Aborted;
        if (RunOutcome copied = CopyDisc(); copied != RunOutcome::Completed)
            return copied;
        if (RunOutcome merged = MergeDisc(i); merged != RunOutcome::Completed)
            return merged;
    }
    target_.reset();
    host_.EndProgress();
    Claim();
    return RunOutcome::Completed;
}

void InstallRun::OpenTarget()
{
    if (!state_.GameArchive)
        state_.GameArchive = std::make_unique<TVrFileCollection>();
    // The group's icon comes from the first disc's archive, which holds the title picture.
    if (state_.GameArchive->Stream)
        iconPng_ = TitleIconPng(set_, *state_.GameArchive);
    if (!options_.Data)
        return;
    // An archive left there by an earlier installation is read and kept; the
    // merges add only the entries it lacks.
    rollback_->BuildingArchive(t_ + "game.dat");
    target_ = std::make_unique<TVrFileCollection>();
    target_->Open(t_ + "game.dat", true);
    target_->OnProgress = [this](TVrFileCollection&, TVrFile&, int32_t size, bool& abort) {
        host_.Item(Sjis(u8"データファイルを構築中..."));
        abort = !host_.Progress(size);
        mergeStopped_ = mergeStopped_ || abort;
    };
    // Writing the finished archive out to the disk takes a while too; no
    // abort there (the new archive is whole), but the run keeps listening.
    target_->OnFlushing = [this] { host_.Progress(0); };
}

// Disc index into S: looked for where it may lie, asked for until it is
// found or the person gives up.
bool InstallRun::FetchDisc(int index)
{
    state_.GameArchive->Open("");
    const DiscFinder finder(startS_, options_.DiscPaths, set_);
    std::optional<DiscFinder::Found> found;
    while (!(found = finder.Find(index)))
        if (host_.PromptDisc(index, finder.Candidates(index)) == DiscAnswer::Abort)
            return false;
    s_ = found->Dir;
    set_ = std::move(found->Description);
    host_.DiscFound(index, s_, finder.Candidates(index));
    state_.GameArchive->Open(s_ + "game.dat");
    return true;
}

RunOutcome InstallRun::CopyDisc()
{
    for (const AnsiString& f : FilesToCopy(s_, options_))
        if (RunOutcome outcome = CopyOne(f); outcome != RunOutcome::Completed)
            return outcome;
    return RunOutcome::Completed;
}

RunOutcome InstallRun::CopyOne(const AnsiString& f)
{
    const AnsiString relative = f.substr(s_.size());
    // Where the disc's installer cannot run, the running program stands in for it.
    const bool ownProgram = !platform::DiscProgramsRunNatively() && !state_.ModulePath.empty() && SameText(relative, "install.exe");
    const AnsiString from = ownProgram ? state_.ModulePath : f;
    const int64_t size = FileSizeOf(from);
    const bool inPieces = size > kWholeFileProgress;
    host_.Item(Format(u8"%s をコピー中...", { ExtractFileName(f) }));
    if (!host_.Progress(inPieces ? 0 : size))
        return RunOutcome::Aborted;
    const AnsiString to = t_ + relative;
    if (!MakeDirectory(ExtractFilePath(to)))
        return DirectoryFailure();

    int64_t counted = 0;
    platform::CopyProgress progress;
    if (inPieces)
        progress = [&](int64_t copied) {
            bool goOn = host_.Progress(copied - counted);
            counted = copied;
            return goOn;
        };
    rollback_->Writing(to);
    CopyOutcome outcome = CopyOutcome::Failed;
    try {
        outcome = CopyIfChangedOutcome(from, to, true, progress);
    } catch (const Exception&) {
        outcome = CopyOutcome::Failed;
    }
    host_.FileCopied(from, to, size, outcome);
    if (outcome == CopyOutcome::Stopped)
        return RunOutcome::Aborted;
    if (inPieces && size > counted && !host_.Progress(size - counted))
        return RunOutcome::Aborted;
    // An installation with a file missing would look complete: ask.
    if (outcome == CopyOutcome::Failed && !host_.ContinueAfterCopyFailure(f))
        return RunOutcome::Aborted;
    return RunOutcome::Completed;
}

RunOutcome InstallRun::MergeDisc(int index)
{
    if (!target_)
        return RunOutcome::Completed;
    MakeDirectory(t_);
    TVrFileCollection& source = *state_.GameArchive;
    const int32_t before = EntryCount(*target_);
    target_->Merge(source);
    // An abort confirmed while the finished archive went to the disk counts
    // as soon as the merge is back.
    if (mergeStopped_ || !host_.Progress(0))
        return RunOutcome::Aborted;
    host_.ArchiveMerged(index, EntryCount(source), before, EntryCount(*target_));
    return RunOutcome::Completed;
}

// The installation is complete: it is claimed. From here the run no longer
// stops for an abort.
void InstallRun::Claim()
{
    set_.Installed = 1;
    rollback_->WritingDescription();
    set_.SaveToFile(t_ + "install.dat");

    host_.Step(Sjis(u8"ショートカットを作成しています"));
    if (options_.Shortcuts) {
        rollback_->MakingGroup();
        CreateShortcuts(set_, t_, iconPng_, host_);
    }
    host_.Pause(2000);
    host_.BringToFront();

    rollback_->WritingRegistry();
    set_.WriteRegString("InstallPath", t_);
    host_.RegistryWritten("InstallPath", t_);
    host_.Step(Sjis(u8"レジストリを更新しています"));
    host_.Pause(1000);
}

// A directory with all its missing parents. A path of fewer than three
// characters (a drive, a root) counts as existing.
bool InstallRun::MakeDirectory(const AnsiString& dir)
{
    AnsiString d = ExcludeTrailingBackslash(dir);
    if (d.empty())
        throw EOSError(u8"ディレクトリ名がありません", {});
    if (d.size() < 3)
        return true;
    rollback_->MakingDirectory(d);
    return platform::ForceDirectories(d);
}

RunOutcome InstallRun::DirectoryFailure()
{
    host_.Report(ReportKind::Warning, Sjis(u8"ディレクトリを作成できませんでした"));
    return RunOutcome::Failed;
}

} // namespace

StringList FilesToCopy(const AnsiString& sourceDir, const RunOptions& options)
{
    AnsiString s = AddBackslash(sourceDir);
    StringList files;
    ListFiles(s, 0x2F, true, true, files, true, false, false, "");
    // Walked from the last entry to the first, as the rules remove entries.
    for (size_t i = files.size(); i-- > 0;) {
        bool keep = true;
        switch (DiscFileKindOf(files[i], s)) {
        case TDiscFileKind::NotCopied: keep = false; break;
        case TDiscFileKind::Sound: keep = options.Sound; break;
        case TDiscFileKind::Movie: keep = options.Movie; break;
        case TDiscFileKind::Program: break;
        }
        if (!keep)
            files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return files;
}

RunOutcome RunInstall(TProgramState& state, const RunOptions& options, RunHost& host)
{
    InstallRun run(state, options, host);
    return run.Run();
}

} // namespace tarn
