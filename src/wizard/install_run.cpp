#include "wizard/install_run.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <utility>
#include <optional>

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_hasher.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/sha256.h"
#include "platform/platform.h"
#include "platform/windows_programs.h"
#include "setup/install_rules.h"
#include "wizard/destination.h"
#include "wizard/disc_fetch.h"
#include "wizard/install_rollback.h"
#include "wizard/manifest.h"
#include "wizard/page_rules.h"
#include "wizard/shortcuts.h"
#include "wizard/title_icon.h"

namespace tarn {

namespace {

// Files up to this size are counted on the bar before they are copied; larger
// ones move it piece by piece while they are copied, and the run listens
// between the pieces.
constexpr int64_t kWholeFileProgress = int64_t(8) << 20;
// Files up to this size are hashed for the record behind the copy.
constexpr int64_t kHashBehind = int64_t(64) << 20;

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
          t_(AddBackslash(platform::ResolvedPath(DestinationFromText(options.Destination)))),
          discs_(startS_, options.DiscPaths, set_)
    {
    }

    RunOutcome Run();

private:
    RunOutcome Work();
    void StartManifest();
    // journal false: the journal holds that line already (carried over from the run before).
    void Record(const AnsiString& relative, int64_t size, const platform::Sha256Digest& digest, int disc, bool journal = true);
    void RecordClaims(const std::string& description);
    void OpenTarget();
    bool FetchDisc(int index);
    RunOutcome CopyDisc();
    RunOutcome CopyOne(const AnsiString& file);
    RunOutcome MergeDisc(int index);
    void CheckArchiveEntries();
    void RecordEntry(const TVrFile& item, const platform::Sha256Digest& digest);
    const TInstallManifest::File* Expected(const AnsiString& relative) const;
    bool KeepIfComplete(const AnsiString& relative, const AnsiString& to, int64_t size);
    bool CheckFilesFound(const StringList& files);
    void Claim();
    bool MakeDirectory(const AnsiString& dir);
    RunOutcome DirectoryFailure(const AnsiString& dir);

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
    int disc_ = 0; // the disc read now, from 0
    DiscFetch discs_;
    // The record of the installation, with the index of each path in it.
    std::optional<TInstallManifest> manifest_;
    std::map<AnsiString, size_t> recorded_, entries_;
    std::unique_ptr<TInstallJournal> journal_;
    // What an earlier run of this install into the same folder recorded
    // (killed, or complete), by lower-case path and entry name: what a file
    // or an entry that is there already must be to be kept. resuming_: there
    // was such a record, and nothing in the folder is taken on its time and size.
    std::map<AnsiString, TInstallManifest::File> expected_;
    // The digests of this disc's targets read again before its copying
    // (folded relative paths); a file found as recorded was made the
    // installation's own file there.
    std::map<AnsiString, std::optional<platform::Sha256Digest>> found_;
    // The folders made or found there in this run (folded).
    std::set<AnsiString> folders_;
    std::map<AnsiString, std::string> expectedEntries_;
    bool resuming_ = false;
    // Deletes the archive the last merge replaced while the run goes on;
    // done before the next merge and at the end of the run.
    std::jthread replaced_;
    // Hashes the files of the record behind the copy (last: it goes first,
    // before what its Done calls use).
    std::unique_ptr<platform::FileHasher> hasher_;
};

RunOutcome InstallRun::Run()
{
    RunOutcome outcome;
    try {
        outcome = Work();
    } catch (...) {
        replaced_ = {};
        target_.reset();
        if (rollback_)
            rollback_->RollBack(set_, host_);
        throw;
    }
    replaced_ = {};
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
        return DirectoryFailure(t_);
    switch (CheckDestination(t_, set_.Title)) {
    case DestinationCheck::Protected:
        host_.Report(ReportKind::Error, ProtectedDestinationText(t_));
        return RunOutcome::Failed;
    case DestinationCheck::NotEmpty:
        if (!options_.AcceptNonEmpty) {
            host_.Report(ReportKind::Error,
                         Format(u8"%s には他のファイルがあります", { platform::ShownPath(ExcludeTrailingBackslash(t_)) }));
            return RunOutcome::Failed;
        }
        break;
    case DestinationCheck::Fine:
        break;
    }
    rollback_ = std::make_unique<InstallRollback>(t_, set_);
    StartManifest();
    OpenTarget();

    const int32_t discCount = set_.DiscCount();
    s_ = startS_;
    host_.DiscFound(set_.DiscIndex, s_, {});
    for (int32_t i = 0; i < discCount; ++i) {
        if (!options_.AllDiscs && i != set_.DiscIndex)
            continue;
        if (set_.DiscIndex != i && !FetchDisc(i))
            return RunOutcome::Aborted;
        disc_ = i;
        if (manifest_)
            manifest_->DiscPlaces[i + 1] = ExcludeTrailingBackslash(s_);
        if (RunOutcome copied = CopyDisc(); copied != RunOutcome::Completed)
            return copied;
        if (RunOutcome merged = MergeDisc(i); merged != RunOutcome::Completed)
            return merged;
        // What a rerun after a kill may rely on (it reads the files again).
        if (manifest_) {
            hasher_->Wait();
            manifest_->Save();
        }
    }
    target_.reset();
    host_.EndProgress();
    Claim();
    // What the game will lack where it runs through Wine is said now, not at its first start.
    for (const AnsiString& wanting : platform::WindowsProgramsWanting())
        host_.Wanting(wanting);
    return RunOutcome::Completed;
}

void InstallRun::StartManifest()
{
    if (!options_.Manifest)
        return;
    // What a run before this one wrote here is what this one expects to find.
    std::optional<TInstallManifest> before = TInstallManifest::Load(t_);
    if (before && (before->Title != set_.Title || before->RegistryKey != set_.RegistryKey || before->Uninstalling))
        before.reset();
    if (before) {
        resuming_ = true;
        for (const TInstallManifest::File& f : before->Files)
            expected_[AnsiLowerCase(f.Path)] = f;
        for (const TInstallManifest::Entry& e : before->ArchiveEntries)
            expectedEntries_[AnsiLowerCase(e.Name)] = e.Sha256;
    }
    TInstallManifest& m = manifest_.emplace();
    m.Destination = t_;
    if (before)
        m.Folders = before->Folders; // made by the run before, for the uninstall
    m.Title = set_.Title;
    m.RegistryKey = set_.RegistryKey;
    m.Components.push_back("program");
    for (auto [chosen, name] : { std::pair{ options_.Data, "data" }, { options_.Sound, "sound" }, { options_.Movie, "movie" } })
        if (chosen)
            m.Components.push_back(name);
    for (int32_t i = 0; i < set_.DiscCount(); ++i)
        if (options_.AllDiscs || i == set_.DiscIndex)
            m.Discs.push_back(i + 1);
    hasher_ = std::make_unique<platform::FileHasher>();
    // Marks the folder as this game's from the start: a rerun after a kill
    // is no install into somebody else's folder.
    rollback_->WritingManifest(TInstallManifest::FileFor(t_));
    // The journal starts with what the run before expected, so that a kill
    // of this run loses none of it.
    journal_ = std::make_unique<TInstallJournal>(t_, before ? &*before : &m);
    m.Save();
}

const TInstallManifest::File* InstallRun::Expected(const AnsiString& relative) const
{
    auto at = expected_.find(AnsiLowerCase(relative));
    return at == expected_.end() ? nullptr : &at->second;
}

// A file a run before this one copied, with the size of the source: kept
// when its bytes, read now, give the SHA-256 recorded then.
bool InstallRun::KeepIfComplete(const AnsiString& relative, const AnsiString& to, int64_t size)
{
    const TInstallManifest::File* want = Expected(relative);
    if (!want || want->Size != size)
        return false;
    // Read again just before, two files at a time (the size with it);
    // otherwise now.
    auto checked = found_.find(AnsiLowerCase(relative));
    if (checked == found_.end()) {
        platform::FileInfo there = platform::StatFile(to);
        if (!there.Exists || there.IsDirectory || there.Size != size)
            return false;
    }
    hasher_->Wait(); // the record keeps the order of the files
    std::optional<platform::Sha256Digest> digest = checked != found_.end() ? checked->second : HashFile(to, size);
    if (!digest || platform::Sha256::Hex(*digest) != want->Sha256)
        return false;
    if (checked == found_.end())
        platform::MakeOwnFile(to);
    Record(relative, size, *digest, disc_ + 1, want->Disc != disc_ + 1);
    host_.FoundComplete(to, size);
    return true;
}

// What a run before left of the files of this disc, read again before the
// copying starts on both cores: the target of every file the record expects
// with the size it has now. False when an abort was confirmed meanwhile.
bool InstallRun::CheckFilesFound(const StringList& files)
{
    found_.clear();
    std::vector<std::pair<AnsiString, int64_t>> targets;
    std::vector<const TInstallManifest::File*> wants;
    StringList relatives;
    for (const AnsiString& f : files) {
        const AnsiString relative = f.substr(s_.size());
        const TInstallManifest::File* want = Expected(relative);
        if (!want)
            continue;
        platform::FileInfo there = platform::StatFile(t_ + relative);
        if (!there.Exists || there.IsDirectory || there.Size != want->Size)
            continue;
        targets.emplace_back(t_ + relative, want->Size);
        wants.push_back(want);
        relatives.push_back(AnsiLowerCase(relative));
    }
    if (targets.empty())
        return true;
    host_.Item(Sjis(u8"コピー済みのファイルを確認しています..."));
    std::vector<std::optional<platform::Sha256Digest>> digests(targets.size());
    std::atomic<size_t> next{ 0 };
    std::atomic<bool> stop{ false };
    auto work = [&](bool listening) {
        for (size_t i; !stop && (i = next++) < targets.size();) {
            digests[i] = HashFile(targets[i].first, targets[i].second);
            if (digests[i] && platform::Sha256::Hex(*digests[i]) == wants[i]->Sha256)
                platform::MakeOwnFile(targets[i].first);
            if (listening && !host_.Progress(0))
                stop = true;
        }
    };
    std::thread helper([&] { work(false); });
    work(true);
    helper.join();
    if (stop)
        return false;
    for (size_t i = 0; i < targets.size(); ++i)
        found_[relatives[i]] = digests[i];
    return true;
}

void InstallRun::Record(const AnsiString& relative, int64_t size, const platform::Sha256Digest& digest, int disc, bool journal)
{
    if (!manifest_)
        return;
    TInstallManifest::File file{ relative, size, platform::Sha256::Hex(digest), disc };
    PutByName(recorded_, manifest_->Files, relative, file); // a later disc's copy replaces an earlier one
    if (journal)
        journal_->Add(file);
}

void InstallRun::RecordEntry(const TVrFile& item, const platform::Sha256Digest& digest)
{
    if (!manifest_)
        return;
    TInstallManifest::Entry entry{ item.Name(), platform::Sha256::Hex(digest) };
    PutByName(entries_, manifest_->ArchiveEntries, item.Name(), entry);
    journal_->Add(entry);
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
    target_->DeferReplacedDeletion = true;
    if (manifest_) {
        target_->OnEntryDigest = [this](TVrFile& item, const platform::Sha256Digest& digest) { RecordEntry(item, digest); };
        // What an earlier merge of this run wrote (or this run read again
        // and kept) is copied on in the kernel, not read once more.
        target_->DigestKnown = [this](const TVrFile& item) { return entries_.count(AnsiLowerCase(item.Name())) > 0; };
    }
    if (resuming_) {
        // A merge killed half way is taken up where what its work file holds
        // is what the run before recorded.
        target_->KeepWorkEntry = [this](const TVrFile& item, const platform::Sha256Digest& found) {
            auto at = expectedEntries_.find(AnsiLowerCase(item.Name()));
            return at != expectedEntries_.end() && at->second == platform::Sha256::Hex(found);
        };
        CheckArchiveEntries();
    }
    target_->OnProgress = [this](TVrFileCollection&, TVrFile&, int32_t size, bool& abort) {
        host_.Item(Sjis(u8"データファイルを構築中..."));
        abort = !host_.Progress(size);
        mergeStopped_ = mergeStopped_ || abort;
    };
    // Writing the finished archive out to the disk takes a while too; no
    // abort there (the new archive is whole), but the run keeps listening.
    target_->OnFlushing = [this] { host_.Progress(0); };
}

// The entries of the archive a run before this one built: each is read
// again, kept when its bytes are what that run recorded, taken again from its
// disc (in its place) when not. Entries no record knows stay as they are.
void InstallRun::CheckArchiveEntries()
{
    if (!target_->Stream)
        return;
    // Read again on both cores.
    std::vector<const TVrFile*> items;
    std::vector<AnsiString> wanted;
    for (int32_t i = 0; i < target_->Count(); ++i) {
        TVrFile& item = target_->Items(i);
        auto want = expectedEntries_.find(AnsiLowerCase(item.Name()));
        if (item.Name() == kVrEndMarker || want == expectedEntries_.end())
            continue;
        items.push_back(&item);
        wanted.push_back(want->second);
    }
    if (!items.empty())
        host_.Item(Sjis(u8"データファイルを確認しています..."));
    std::vector<std::optional<platform::Sha256Digest>> digests = target_->StoredDigests(items, [this] { return host_.Progress(0); });
    int32_t kept = 0;
    int64_t bytes = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const TVrFile& item = *items[i];
        if (digests[i] && platform::Sha256::Hex(*digests[i]) == wanted[i]) {
            RecordEntry(item, *digests[i]);
            ++kept;
            bytes += item.Size;
        } else {
            target_->Damaged.insert(AnsiLowerCase(item.Name()));
        }
    }
    if (kept > 0)
        host_.EntriesFoundComplete(t_ + "game.dat", kept, bytes);
}

// Disc index into S: looked for where it may lie, asked for until it is
// found or the person gives up.
bool InstallRun::FetchDisc(int index)
{
    state_.GameArchive->Open("");
    std::optional<DiscFinder::Found> found = discs_.Fetch(index, host_);
    if (!found)
        return false;
    s_ = found->Dir;
    set_ = std::move(found->Description);
    state_.GameArchive->Open(s_ + "game.dat");
    return true;
}

RunOutcome InstallRun::CopyDisc()
{
    StringList skipped;
    const StringList files = FilesToCopy(s_, options_);
    if (resuming_ && manifest_ && !CheckFilesFound(files))
        return RunOutcome::Aborted;
    for (const AnsiString& f : files) {
        // Nothing is read from outside the disc, and nothing that is no file.
        if (!HeldByDisc(f, s_)) {
            skipped.push_back(f.substr(s_.size()));
            continue;
        }
        if (RunOutcome outcome = CopyOne(f); outcome != RunOutcome::Completed)
            return outcome;
    }
    if (!skipped.empty())
        host_.Report(ReportKind::Warning, SkippedOnDiscText(skipped));
    return RunOutcome::Completed;
}

RunOutcome InstallRun::CopyOne(const AnsiString& f)
{
    const AnsiString relative = f.substr(s_.size());
    // Where the disc's installer cannot run, the running program stands in for it.
    const bool ownProgram = !platform::DiscProgramsRunNatively() && !state_.ModulePath.empty() && SameText(relative, "install.exe");
    const AnsiString from = ownProgram ? state_.ModulePath : f;
    // The size the directory entry gives: a file that cannot be opened just
    // now is for the copy to report, not a file of no bytes.
    const int64_t size = std::max<int64_t>(platform::FileSize(from), 0);
    const bool inPieces = size > kWholeFileProgress;
    host_.Item(Format(u8"%s をコピー中...", { ExtractFileName(f) }));
    if (!host_.Progress(inPieces ? 0 : size))
        return RunOutcome::Aborted;
    const AnsiString to = t_ + relative;
    if (!MakeDirectory(ExtractFilePath(to)))
        return DirectoryFailure(ExtractFilePath(to));

    int64_t counted = 0;
    platform::CopyProgress progress;
    if (inPieces)
        progress = [&](int64_t copied) {
            bool goOn = host_.Progress(copied - counted);
            counted = copied;
            return goOn;
        };
    if (manifest_ && KeepIfComplete(relative, to, size))
        return !inPieces || host_.Progress(size) ? RunOutcome::Completed : RunOutcome::Aborted;
    rollback_->Writing(to);
    CopyOutcome outcome = CopyOutcome::Failed;
    platform::Sha256Digest digest{};
    AnsiString reason;
    // Up to a size the page cache surely keeps, a file is hashed behind the
    // copy on the hasher's thread; a larger one is hashed as it is copied.
    const bool hashBehind = hasher_ && size <= kHashBehind;
    if (manifest_ && !hashBehind)
        hasher_->Wait(); // the record keeps the order of the copies
    try {
        // Over what a run before left, only what was read again counts.
        outcome = CopyIfChangedOutcome(from, to, !resuming_, progress, manifest_ && !hashBehind ? &digest : nullptr);
        if (outcome == CopyOutcome::Failed)
            reason = platform::LastErrorText();
    } catch (const Exception& e) {
        outcome = CopyOutcome::Failed;
        reason = e.Message();
    }
    host_.FileCopied(from, to, size, outcome);
    const bool copied = outcome == CopyOutcome::Copied;
    // A disc's files are read-only (a mounted disc gives 0400): the game and
    // its patches write to what is installed.
    if (copied || outcome == CopyOutcome::Unchanged)
        platform::MakeOwnFile(to);
    if ((copied || outcome == CopyOutcome::Unchanged) && hashBehind) {
        // The bytes copied are those of the source (and, should it no longer
        // read back whole, of the copy); a file left as it was is read where it lies.
        hasher_->Add(copied ? from : to, size, [this, relative, size, to, copied, disc = disc_ + 1](auto digest) {
            if (!digest && copied)
                digest = HashFile(to, size);
            if (!digest)
                ThrowFileOpenError(platform::ShownPath(to));
            Record(relative, size, *digest, disc);
        });
    } else if (copied || outcome == CopyOutcome::Unchanged) {
        Record(relative, size, digest, disc_ + 1);
    }
    if (outcome == CopyOutcome::Stopped)
        return RunOutcome::Aborted;
    if (inPieces && size > counted && !host_.Progress(size - counted))
        return RunOutcome::Aborted;
    // An installation with a file missing would look complete: ask.
    if (outcome == CopyOutcome::Failed && !host_.ContinueAfterCopyFailure(f, to, reason))
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
    bool repairs = false;
    for (const AnsiString& name : target_->Damaged)
        repairs = repairs || source.IndexOf(name) >= 0;
    if (target_->Stream && !repairs && target_->Version == target_->MergeVersion && target_->NewEntriesFrom(source).empty()) {
        // Nothing to add: the archive stays as it is, and what the record
        // lacks of it is read. What a killed merge left beside it is kept for
        // a later disc's merge to take up; after the last one it goes.
        const int lastDisc = options_.AllDiscs ? set_.DiscCount() - 1 : set_.DiscIndex;
        if (index >= lastDisc)
            DeleteBigFile(t_ + kVrWorkFile);
        for (int32_t i = 0; i < target_->Count(); ++i) {
            TVrFile& item = target_->Items(i);
            if (item.Name() == kVrEndMarker)
                continue;
            if (manifest_ && !entries_.count(AnsiLowerCase(item.Name()))) {
                std::optional<platform::Sha256Digest> digest = target_->StoredDigest(item);
                if (!digest)
                    ThrowFileOpenError(platform::ShownPath(t_ + "game.dat"));
                RecordEntry(item, *digest);
            }
            if (!host_.Progress(item.Size))
                return RunOutcome::Aborted;
        }
        host_.ArchiveMerged(index, EntryCount(source), before, before);
        return RunOutcome::Completed;
    }
    // The archive replaced goes while the run goes on (even when reopening
    // the new one failed: nothing may stay behind of it).
    replaced_ = {};
    auto deleteReplaced = [this] {
        if (target_->DeleteReplaced)
            replaced_ = std::jthread(std::exchange(target_->DeleteReplaced, nullptr));
    };
    try {
        target_->Merge(source);
    } catch (...) {
        deleteReplaced();
        throw;
    }
    deleteReplaced();
    if (target_->KeptEntries > 0)
        host_.EntriesFoundComplete(t_ + kVrWorkFile, target_->KeptEntries, target_->KeptBytes);
    // An abort confirmed while the finished archive went to the disk counts
    // as soon as the merge is back.
    if (mergeStopped_ || !host_.Progress(0))
        return RunOutcome::Aborted;
    host_.ArchiveMerged(index, EntryCount(source), before, EntryCount(*target_));
    return RunOutcome::Completed;
}

// Everything is in place: the program group and the registry value are
// made, the record completed, and last of all the description with
// Installed set is put in place in one step, so that a kill leaves either
// the whole claim or none. From here the run no longer stops for an abort.
void InstallRun::Claim()
{
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

    set_.Installed = 1;
    const std::string description = set_.SaveToBytes();
    RecordClaims(description);
    rollback_->WritingDescription();
    WriteFileAtomically(t_ + "install.dat", description);
}

void InstallRun::RecordClaims(const std::string& description)
{
    if (!manifest_)
        return;
    TInstallManifest& m = *manifest_;
    for (int i = 0; platform::FileExists(TTpBigFileStream::PieceNameOf(t_ + "game.dat", i)); ++i)
        m.ArchivePieces.push_back(ExtractFileName(TTpBigFileStream::PieceNameOf(t_ + "game.dat", i)));
    if (options_.Shortcuts)
        if (auto manager = platform::ProgramManager::Open("PROGMAN", "PROGMAN"))
            for (const AnsiString& file : manager->GroupFiles(set_.Title))
                if (std::optional<platform::Sha256Digest> digest = HashFile(file))
                    m.Group.push_back({ file, platform::Sha256::Hex(*digest) });
    m.RegistryValue = t_;
    Record("install.dat", static_cast<int64_t>(description.size()), platform::Sha256::Of(description), 0);
    m.Complete = true;
    m.Save();
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
    // Most files go where the one before went.
    if (folders_.count(AnsiLowerCase(d)))
        return true;
    // The folders at or below the destination are the installation's.
    for (const AnsiString& made : rollback_->MakingDirectory(d)) {
        AnsiString folder = AddBackslash(made);
        if (manifest_ && folder.size() >= t_.size() && SameText(folder.substr(0, t_.size()), t_)) {
            manifest_->Folders.push_back(ExcludeTrailingBackslash(folder.substr(t_.size())));
            journal_->AddFolder(manifest_->Folders.back());
        }
    }
    if (!platform::ForceDirectories(d))
        return false;
    folders_.insert(AnsiLowerCase(d));
    return true;
}

RunOutcome InstallRun::DirectoryFailure(const AnsiString& dir)
{
    // The box's text, and on a line of its own which folder and why.
    AnsiString reason = platform::LastErrorText();
    host_.Report(ReportKind::Warning, Sjis(u8"ディレクトリを作成できませんでした") + "\n" +
                                          platform::ShownPath(ExcludeTrailingBackslash(dir)) +
                                          (reason.empty() ? AnsiString() : ": " + reason));
    return RunOutcome::Failed;
}

} // namespace

bool HeldByDisc(const AnsiString& file, const AnsiString& disc)
{
    switch (platform::KindOf(file)) {
    case platform::EntryKind::File:
        return true;
    case platform::EntryKind::Link: {
        AnsiString target = platform::ResolvedPath(file);
        return platform::DirectoryContains(disc, target) && platform::KindOf(target) == platform::EntryKind::File;
    }
    default:
        return false;
    }
}

StringList FilesToCopy(const AnsiString& sourceDir, const RunOptions& options)
{
    AnsiString s = AddBackslash(sourceDir);
    StringList files;
    ListFilesOrFail(s, 0x2F, true, true, files, true, false, false, "");
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
    // The menu's items and the programs started from here use the game's prefix.
    platform::SetWindowsProgramsPrefix(state.InstallSet.RegistryKey, platform::GetEnv("WINEPREFIX"));
    InstallRun run(state, options, host);
    return run.Run();
}

} // namespace tarn
