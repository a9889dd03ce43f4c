#include "wizard/repair_run.h"

#include <map>
#include <set>

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "platform/sha256.h"
#include "setup/install_set.h"
#include "wizard/disc_fetch.h"
#include "wizard/manifest.h"

namespace tarn {

namespace {

class RepairRun {
public:
    RepairRun(const AnsiString& startDir, const AnsiString& modulePath, const RunOptions& options, RunHost& host,
              RepairResult& result)
        : startDir_(AddBackslash(startDir)), modulePath_(modulePath), options_(options), host_(host), result_(result)
    {
    }

    RunOutcome Run();

private:
    bool Check(VerifyResult& into, const char8_t* heading);
    RunOutcome RepairFrom(int disc, const DiscFinder::Found& found);
    bool CopyFile(const AnsiString& from, const AnsiString& relative, int disc);
    bool MergeEntries(TVrFileCollection& source);
    void WriteDescription(TTarnInstallSet description);

    const AnsiString startDir_, modulePath_;
    const RunOptions& options_;
    RunHost& host_;
    RepairResult& result_;
    TInstallManifest record_;
    AnsiString t_;
    // What is still wrong: files by the disc they came from (0: written by
    // the install), archive entries by folded name.
    std::map<int, StringList> files_;
    std::map<AnsiString, AnsiString> entries_;
    bool wholeArchive_ = false;
    bool archiveStarted_ = false;
};

bool RepairRun::Check(VerifyResult& into, const char8_t* heading)
{
    host_.Step(Sjis(heading));
    host_.BeginProgress(BytesToVerify(record_));
    host_.Item(Format(u8"%s を検査中...", { platform::ShownPath(ExcludeTrailingBackslash(t_)) }));
    into = VerifyAgainstRecord(record_, [this](int64_t bytes) { return host_.Progress(bytes); });
    return host_.Progress(0);
}

RunOutcome RepairRun::Run()
{
    std::optional<TInstallManifest> record = TInstallManifest::Load(AddBackslash(options_.Installation));
    if (!record || !record->Complete) {
        host_.Report(ReportKind::Error, Format(u8"%s にはインストールの記録がないため修復できません",
                                               { platform::ShownPath(ExcludeTrailingBackslash(options_.Installation)) }));
        return RunOutcome::Failed;
    }
    record_ = std::move(*record);
    t_ = AddBackslash(record_.Destination);
    host_.Begin(Format(u8"%s を修復しています", { record_.Title }));
    if (!Check(result_.Before, u8"インストールを検査しています"))
        return RunOutcome::Aborted;

    int64_t toCopy = 0;
    for (const Finding& f : result_.Before.Findings) {
        if (f.Class == FindingClass::Extra)
            continue;
        if (!f.Entry.empty()) {
            entries_[AnsiLowerCase(f.Entry)] = f.Entry;
            continue;
        }
        bool file = false;
        for (const TInstallManifest::File& r : record_.Files)
            if (SameText(r.Path, f.Path)) {
                files_[r.Disc].push_back(r.Path);
                toCopy += r.Size;
                file = true;
                break;
            }
        // A piece of the archive, or the archive that cannot be read: built again.
        if (!file)
            wholeArchive_ = true;
    }
    wholeArchive_ = wholeArchive_ || result_.Before.ArchiveUnreadable;
    if (files_.empty() && entries_.empty() && !wholeArchive_) {
        result_.After = result_.Before;
        return RunOutcome::Completed;
    }

    host_.Step(Sjis(u8"ファイルをコピーしています"));
    host_.BeginProgress(toCopy + (wholeArchive_ || !entries_.empty() ? BytesToVerify(record_) - toCopy : 0));
    // The game as the discs describe it (only its title and key are compared).
    TTarnInstallSet game;
    game.Title = record_.Title;
    game.RegistryKey = record_.RegistryKey;
    // Where the install read each disc is looked at too (the command line's
    // word stands).
    std::map<int, AnsiString> places = record_.DiscPlaces;
    for (const auto& [disc, place] : options_.DiscPaths)
        places[disc] = place;
    DiscFetch discs(startDir_, places, game);
    std::optional<TTarnInstallSet> last; // the description of the record's last disc
    for (int disc : record_.Discs) {
        const bool archiveWanted = wholeArchive_ || !entries_.empty();
        const bool descriptionWanted = files_.count(0) && disc == record_.Discs.back();
        if (!files_.count(disc) && !archiveWanted && !descriptionWanted)
            continue;
        std::optional<DiscFinder::Found> found = discs.Fetch(disc - 1, host_);
        if (!found)
            return RunOutcome::Aborted;
        if (RunOutcome outcome = RepairFrom(disc, *found); outcome != RunOutcome::Completed)
            return outcome;
        if (descriptionWanted)
            WriteDescription(found->Description);
    }
    record_.Save();
    host_.EndProgress();
    if (!Check(result_.After, u8"修復したインストールを検査しています"))
        return RunOutcome::Aborted;
    host_.EndProgress();
    if (result_.After.Wrong() > 0) {
        host_.Report(ReportKind::Error, Format(u8"修復できなかったファイルがあります (%d)", { result_.After.Wrong() }));
        return RunOutcome::Failed;
    }
    return RunOutcome::Completed;
}

RunOutcome RepairRun::RepairFrom(int disc, const DiscFinder::Found& found)
{
    const AnsiString& s = found.Dir;
    for (const AnsiString& relative : files_[disc]) {
        // Where the disc's installer cannot run, the running program stands in for it.
        const bool ownProgram = !platform::DiscProgramsRunNatively() && !modulePath_.empty() && SameText(relative, "install.exe");
        if (!CopyFile(ownProgram ? modulePath_ : s + relative, relative, disc))
            return RunOutcome::Failed;
        if (!host_.Progress(0))
            return RunOutcome::Aborted;
    }
    files_.erase(disc);
    if (!wholeArchive_ && entries_.empty())
        return RunOutcome::Completed;
    TVrFileCollection source;
    source.Open(s + "game.dat");
    if (!MergeEntries(source))
        return RunOutcome::Aborted;
    return RunOutcome::Completed;
}

// The file copied again: the wrong one goes first (it may be unreadable or
// read-only), and the record takes what the disc holds now.
bool RepairRun::CopyFile(const AnsiString& from, const AnsiString& relative, int disc)
{
    const AnsiString to = t_ + relative;
    host_.Item(Format(u8"%s をコピー中...", { ExtractFileName(relative) }));
    platform::ForceDirectories(ExcludeTrailingBackslash(ExtractFilePath(to)));
    if (platform::FileExists(to))
        platform::RemoveFile(to);
    platform::Sha256Digest digest{};
    int64_t counted = 0;
    CopyOutcome outcome = CopyIfChangedOutcome(from, to, false, [&](int64_t copied) {
        bool goOn = host_.Progress(copied - counted);
        counted = copied;
        return goOn;
    }, &digest);
    host_.FileCopied(from, to, counted, outcome);
    if (outcome != CopyOutcome::Copied) {
        AnsiString reason = platform::LastErrorText();
        host_.Report(ReportKind::Error, Format(u8"%s をコピーできませんでした", { platform::ShownPath(to) }) +
                                            (reason.empty() ? AnsiString() : ": " + reason));
        return false;
    }
    platform::MakeOwnFile(to);
    ++result_.FilesCopied;
    for (TInstallManifest::File& f : record_.Files)
        if (SameText(f.Path, relative))
            f = { f.Path, FileSizeOf(to), platform::Sha256::Hex(digest), disc };
    return true;
}

// The wrong entries this disc's archive holds are dropped and merged again
// from it; the others are copied as they are. An archive that cannot be read
// as a whole is built anew from the discs in turn.
bool RepairRun::MergeEntries(TVrFileCollection& source)
{
    TVrFileCollection target;
    if (wholeArchive_ && !archiveStarted_) {
        DeleteBigFile(t_ + "game.dat");
        target.Open(t_ + "game.dat", true);
    } else {
        target.Open(t_ + "game.dat");
    }
    archiveStarted_ = true;
    // The wrong entries this disc holds are taken from it in their places.
    std::set<AnsiString> merged;
    for (int32_t i = 0; i < source.Count(); ++i) {
        AnsiString folded = AnsiLowerCase(source.Items(i).Name());
        if (entries_.count(folded) && target.IndexOf(source.Items(i).Name()) >= 0) {
            target.Damaged.insert(folded);
            merged.insert(folded);
        }
    }
    for (const TVrFile* item : target.NewEntriesFrom(source))
        merged.insert(AnsiLowerCase(item->Name()));
    if (merged.empty())
        return true;
    std::map<AnsiString, size_t> index;
    for (size_t i = 0; i < record_.ArchiveEntries.size(); ++i)
        index[AnsiLowerCase(record_.ArchiveEntries[i].Name)] = i;
    target.OnEntryDigest = [&](TVrFile& item, const platform::Sha256Digest& digest) {
        AnsiString folded = AnsiLowerCase(item.Name());
        if (!merged.count(folded))
            return;
        TInstallManifest::Entry entry{ item.Name(), platform::Sha256::Hex(digest) };
        if (auto at = index.find(folded); at != index.end())
            record_.ArchiveEntries[at->second] = entry;
        else if (wholeArchive_)
            record_.ArchiveEntries.push_back(entry);
        entries_.erase(folded);
        ++result_.EntriesMerged;
    };
    bool stopped = false;
    target.OnProgress = [&](TVrFileCollection&, TVrFile&, int32_t size, bool& abort) {
        host_.Item(Sjis(u8"データファイルを構築中..."));
        abort = stopped = !host_.Progress(size);
    };
    target.OnFlushing = [this] { host_.Progress(0); };
    target.Merge(source);
    if (stopped)
        return false;
    record_.ArchivePieces.clear();
    for (int i = 0; platform::FileExists(TTpBigFileStream::PieceNameOf(t_ + "game.dat", i)); ++i)
        record_.ArchivePieces.push_back(ExtractFileName(TTpBigFileStream::PieceNameOf(t_ + "game.dat", i)));
    return true;
}

// The description the install leaves: the last disc's, marked installed.
void RepairRun::WriteDescription(TTarnInstallSet description)
{
    description.Installed = 1;
    const std::string bytes = description.SaveToBytes();
    WriteFileAtomically(t_ + "install.dat", bytes);
    ++result_.FilesCopied;
    for (TInstallManifest::File& f : record_.Files)
        if (SameText(f.Path, "install.dat"))
            f = { f.Path, static_cast<int64_t>(bytes.size()), platform::Sha256::Hex(platform::Sha256::Of(bytes)), 0 };
    files_.erase(0);
}

} // namespace

RunOutcome RunRepair(const AnsiString& startDir, const AnsiString& modulePath, const RunOptions& options, RunHost& host,
                     RepairResult& result)
{
    RepairRun run(startDir, modulePath, options, host, result);
    return run.Run();
}

} // namespace tarn
