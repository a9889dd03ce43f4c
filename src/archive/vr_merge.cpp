#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>

#include "archive/file_ops.h"
#include "archive/vr_files.h"
#include "archive/vr_format.h"
#include "archive/vr_messages.h"
#include "base/codepage.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/aside.h"
#include "platform/file_stream.h"

namespace tarn {

namespace {

AnsiString BesideArchive(const AnsiString& baseDir, const char* name)
{
    return baseDir.empty() ? AnsiString(name) : AddBackslash(baseDir) + name;
}

// Hashes count bytes of stream from its position; none when they cannot be
// read (or when stop is set on the way).
std::optional<platform::Sha256Digest> HashBytes(TTpBigStream& stream, int64_t count, std::vector<char>& buffer,
                                                const std::atomic<bool>* stop = nullptr);

// The digests of the entries a merge copies, taken behind the copy: the copy
// goes on in the kernel at its own speed, and a thread of its own reads each
// entry's bytes again, from the page cache the copy has just filled (never
// more than kBehind bytes later), through a stream of its own on the same
// file. The digests are handed on on the merge's thread, in the order the
// entries were copied.
class EntriesHashedBehind {
public:
    explicit EntriesHashedBehind(std::function<void(TVrFile&, const platform::Sha256Digest&)> digest)
        : digest_(std::move(digest)), worker_([this] { Work(); })
    {
    }
    ~EntriesHashedBehind()
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    // Queues the digest of item's count bytes at offset in the file from
    // reads (its copy just made); false when that file cannot be opened a
    // second time, and nothing is queued.
    bool Add(TVrFile& item, const TTpBigFileStream& from, int64_t offset, int64_t count)
    {
        TTpBigFileStream* reader = ReaderFor(from);
        if (!reader)
            return false;
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            Deliver(guard);
            if (waiting_ <= kBehind)
                break;
            changed_.wait(guard);
        }
        jobs_.push_back(Job{ &item, reader, offset, count, std::nullopt, false });
        waiting_ += count;
        changed_.notify_all();
        return true;
    }
    // Queues a digest taken otherwise, to be handed on in its turn.
    void Add(TVrFile& item, const platform::Sha256Digest& digest)
    {
        std::unique_lock<std::mutex> guard(lock_);
        jobs_.push_back(Job{ &item, nullptr, 0, 0, digest, true });
        Deliver(guard);
    }
    // Waits for every digest queued and hands them on; an entry that could
    // not be read again fails the merge as a read of it would.
    void Finish()
    {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            Deliver(guard);
            if (jobs_.empty())
                return;
            changed_.wait(guard, [this] { return jobs_.front().hashed; });
        }
    }

private:
    static constexpr int64_t kBehind = int64_t(256) << 20;

    struct Job {
        TVrFile* item;
        TTpBigFileStream* reader;
        int64_t offset, count;
        std::optional<platform::Sha256Digest> digest;
        bool hashed;
    };

    // A stream of the hasher's own on the file from reads, opened once.
    TTpBigFileStream* ReaderFor(const TTpBigFileStream& from)
    {
        auto& reader = readers_[&from];
        if (!reader.first) {
            reader.first = true;
            try {
                reader.second = std::make_unique<TTpBigFileStream>(from.FileName(), fmOpenRead, from.PieceSize());
            } catch (const Exception&) {
            }
        }
        return reader.second.get();
    }

    // Hands on the digests at the front that are done (the lock held on
    // entry and on return, released around the calls).
    void Deliver(std::unique_lock<std::mutex>& guard)
    {
        while (!jobs_.empty() && jobs_.front().hashed) {
            Job job = jobs_.front();
            jobs_.pop_front();
            guard.unlock();
            if (!job.digest)
                ThrowReadError();
            digest_(*job.item, *job.digest);
            guard.lock();
        }
    }

    void Work()
    {
        std::vector<char> buffer(size_t(1) << 20);
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            auto next = jobs_.end();
            changed_.wait(guard, [&] {
                next = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.hashed; });
                return stop_ || next != jobs_.end();
            });
            if (stop_)
                return;
            const Job job = *next;
            guard.unlock();
            std::optional<platform::Sha256Digest> digest;
            try {
                job.reader->SetPosition(job.offset);
                if (job.reader->GetPosition() == job.offset)
                    digest = HashBytes(*job.reader, job.count, buffer, &stop_);
            } catch (const Exception&) {
                // unreadable: the merge fails when this digest is handed on
            }
            guard.lock();
            // Only the merge's thread takes jobs off the front, and only
            // hashed ones: the job is still the first not hashed.
            auto at = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.hashed; });
            at->digest = digest;
            at->hashed = true;
            waiting_ -= job.count;
            changed_.notify_all();
        }
    }

    std::function<void(TVrFile&, const platform::Sha256Digest&)> digest_;
    std::map<const TTpBigFileStream*, std::pair<bool, std::unique_ptr<TTpBigFileStream>>> readers_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    int64_t waiting_ = 0;
    std::atomic<bool> stop_{ false }; // also ends the hashing of a large entry
    std::thread worker_; // last: it starts once everything above is made
};

std::optional<platform::Sha256Digest> HashBytes(TTpBigStream& stream, int64_t count, std::vector<char>& buffer, const std::atomic<bool>* stop)
{
    platform::Sha256 sha;
    while (count > 0) {
        int64_t n = std::min(count, static_cast<int64_t>(buffer.size()));
        if ((stop && *stop) || stream.Read(buffer.data(), n) != n)
            return std::nullopt;
        sha.Update(buffer.data(), static_cast<size_t>(n));
        count -= n;
    }
    return sha.Finish();
}

// The digests of byte ranges (offset, count) of a file, read side by side
// through first and, when given, second (another stream on the same file):
// two cores hash twice as fast as one. listen is called on this thread
// between ranges; false stops, and the ranges not reached get none.
std::vector<std::optional<platform::Sha256Digest>> HashRanges(TTpBigStream& first, TTpBigStream* second,
                                                              const std::vector<std::pair<int64_t, int64_t>>& ranges,
                                                              const std::function<bool()>& listen = {})
{
    std::vector<std::optional<platform::Sha256Digest>> digests(ranges.size());
    std::atomic<size_t> next{ 0 };
    std::atomic<bool> stop{ false };
    auto work = [&](TTpBigStream& stream, bool listening) {
        std::vector<char> buffer(size_t(1) << 20);
        for (size_t i; !stop && (i = next++) < ranges.size();) {
            auto [offset, count] = ranges[i];
            if (count == 0)
                digests[i] = platform::Sha256::Of("");
            else if (count > 0) {
                try {
                    stream.SetPosition(offset);
                    if (stream.GetPosition() == offset)
                        digests[i] = HashBytes(stream, count, buffer);
                } catch (const Exception&) {
                    // a read error: this range gets none, the others are read
                }
            }
            if (listening && listen && !listen())
                stop = true;
        }
    };
    std::thread helper;
    if (second && ranges.size() > 1)
        helper = std::thread([&] {
            try {
                work(*second, false);
            } catch (...) {
                stop = true; // what it did not reach gets none
            }
        });
    try {
        work(first, true);
    } catch (...) {
        stop = true;
        if (helper.joinable())
            helper.join();
        throw;
    }
    if (helper.joinable())
        helper.join();
    return digests;
}

// A second stream on a file for reading beside the first; none when it cannot be opened.
std::unique_ptr<TTpBigFileStream> SecondStream(const AnsiString& fileName, int64_t pieceSize)
{
    try {
        return std::make_unique<TTpBigFileStream>(fileName, fmOpenRead, pieceSize);
    } catch (const Exception&) {
        return nullptr;
    }
}

// How much of the work file an interrupted merge left can be taken up: the
// entries, from the first, that keep accepts; 0 when the file holds another
// head than head (the offset table, filled in only at the end, aside) or
// more bytes than the whole archive would.
struct WorkTakenUp {
    size_t entries = 0;
    int64_t end = 0;
    std::vector<platform::Sha256Digest> digests;
};

WorkTakenUp TakeUpWork(TTpBigFileStream& work, const AnsiString& workName, int64_t pieceSize, const std::string& head,
                       int64_t tableAt, size_t flagsAt,
                       const std::vector<TVrFile*>& all, const std::function<bool(const TVrFile&, const platform::Sha256Digest&)>& keep)
{
    WorkTakenUp taken;
    int64_t total = static_cast<int64_t>(head.size());
    for (const TVrFile* item : all)
        total += item->Size;
    const int64_t size = work.GetSize();
    if (size < static_cast<int64_t>(head.size()) || size > total)
        return taken;
    std::string there(head.size(), '\0');
    work.SetPosition(0);
    if (work.Read(there.data(), static_cast<int64_t>(there.size())) != static_cast<int64_t>(there.size()))
        return taken;
    auto same = [&](size_t from, size_t to) { return std::equal(head.begin() + from, head.begin() + to, there.begin() + from); };
    if (!same(0, static_cast<size_t>(tableAt)) || !same(flagsAt, head.size()))
        return taken;
    // Every entry the file holds whole is read (side by side), then kept in
    // order up to the first that keep refuses.
    std::vector<std::pair<int64_t, int64_t>> ranges;
    int64_t at = static_cast<int64_t>(head.size());
    for (const TVrFile* item : all) {
        if (at + item->Size > size)
            break;
        ranges.emplace_back(at, item->Size);
        at += item->Size;
    }
    std::unique_ptr<TTpBigFileStream> second = SecondStream(workName, pieceSize);
    std::vector<std::optional<platform::Sha256Digest>> digests = HashRanges(work, second.get(), ranges);
    at = static_cast<int64_t>(head.size());
    for (size_t i = 0; i < ranges.size(); ++i) {
        if (!digests[i] || !keep(*all[i], *digests[i]))
            break;
        at += ranges[i].second;
        taken.digests.push_back(*digests[i]);
    }
    taken.entries = taken.digests.size();
    taken.end = at;
    return taken;
}

} // namespace

std::optional<platform::Sha256Digest> TVrFileCollection::StoredDigest(const TVrFile& item)
{
    if (item.Size < 0 || (item.Size > 0 && !Stream))
        return std::nullopt;
    if (item.Size == 0)
        return platform::Sha256::Of("");
    Stream->SetPosition(item.Offset);
    if (Stream->GetPosition() != item.Offset)
        return std::nullopt;
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(item.Size, int64_t(1) << 20)));
    return HashBytes(*Stream, item.Size, buffer);
}

std::vector<std::optional<platform::Sha256Digest>> TVrFileCollection::StoredDigests(const std::vector<const TVrFile*>& items,
                                                                                     const std::function<bool()>& listen)
{
    std::vector<std::pair<int64_t, int64_t>> ranges;
    for (const TVrFile* item : items)
        ranges.emplace_back(item->Offset, item->Size < 0 || (item->Size > 0 && !Stream) ? -1 : item->Size);
    if (!Stream)
        return std::vector<std::optional<platform::Sha256Digest>>(items.size(), std::nullopt);
    std::unique_ptr<TTpBigFileStream> second = items.size() > 1 ? SecondStream(FileName, PieceSize) : nullptr;
    std::vector<std::optional<platform::Sha256Digest>> digests = HashRanges(*Stream, second.get(), ranges, listen);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->Size == 0)
            digests[i] = platform::Sha256::Of("");
    return digests;
}

void DeleteBigFile(const AnsiString& fileName)
{
    TTpBigFileStream deleting(fileName, fmCreate);
}

std::vector<TVrFile*> TVrFileCollection::NewEntriesFrom(const TVrFileCollection& source) const
{
    // IndexOf answers "is there an item whose name compares equal", and names
    // compare equal exactly when their folded bytes are equal; a set of
    // folded names gives the same answers without walking shared chains.
    std::unordered_set<AnsiString> have;
    have.reserve(static_cast<size_t>(Count()));
    for (int32_t i = 0; i < Count(); ++i)
        have.insert(AnsiLowerCase(Items(i).Name()));
    std::vector<TVrFile*> added;
    for (int32_t i = 0; i < source.Count(); ++i) {
        TVrFile& item = source.Items(i);
        if (item.Name() != kVrEndMarker && !have.count(AnsiLowerCase(item.Name())))
            added.push_back(&item);
    }
    return added;
}

void TVrFileCollection::Merge(TVrFileCollection& source)
{
    if (FileName.empty() || platform::DirectoryExists(FileName))
        throw EVrArchiveError(msg::VrNotArchiveFile, { FileName });

    std::vector<TVrFile*> added = NewEntriesFrom(source);
    DeleteEntry(kVrEndMarker);
    int32_t own = Count();
    std::vector<TVrFile*> all;
    // Where each entry's bytes come from: this archive, or the source.
    std::vector<bool> fromSource;
    StringList repaired;
    for (int32_t i = 0; i < own; ++i) {
        TVrFile* item = &Items(i);
        if (!Damaged.empty() && Damaged.count(AnsiLowerCase(item->Name()))) {
            int32_t there = source.IndexOf(item->Name());
            if (there >= 0) {
                repaired.push_back(AnsiLowerCase(item->Name()));
                item = &source.Items(there);
            }
        }
        all.push_back(item);
        fromSource.push_back(item != &Items(i));
    }
    all.insert(all.end(), added.begin(), added.end());
    fromSource.resize(all.size(), true);

    // Everything is known before a byte is written: an archive whose offsets
    // would not fit their signed 32 bits is refused here.
    std::vector<const AnsiString*> names;
    int64_t data = 0;
    for (TVrFile* item : all) {
        if (item->Name().empty())
            throw EVrArchiveError(Sjis(msg::VrBadEntryName));
        if (item->Size < 0)
            throw EVrArchiveError(msg::VrDamaged, { FileName, Format(msg::VrOffsetOutside, { item->CachedIndex, item->Offset }) });
        names.push_back(&item->Name());
        data += item->Size;
    }
    int64_t m = static_cast<int64_t>(all.size());
    int64_t directory = VrDirectoryHeadSize(MergeVersion, names) + 4 * (m + 1) + m;
    if (directory + data > MaxStreamSize)
        throw EVrArchiveError(msg::VrTooLarge, { FileName, FormatThousands(directory + data) });

    AnsiString work = BesideArchive(BaseDir, kVrWorkFile);
    // After each entry written or taken up: true when OnProgress asks to stop.
    auto AskedToStop = [this](TVrFile& item) {
        bool abort = false;
        if (OnProgress)
            OnProgress(*this, item, item.Size, abort);
        return abort;
    };
    // Set-aside pieces left by an interrupted merge go, but only while the
    // archive itself is there: otherwise they may be the only copy of it.
    if (Stream)
        DeleteBigFile(ExtractFilePath(FileName) + kVrSetAsideFile);
    int workPieces = 0;
    KeptEntries = 0;
    KeptBytes = 0;
    {
        std::unique_ptr<TTpBigFileStream> out;
        try {
            ByteWriter head;
            AppendVrHeader(head, MergeVersion, static_cast<int32_t>(m));
            AppendVrNames(head, names, MergeVersion);
            int64_t tableAt = static_cast<int64_t>(head.Size());
            std::vector<int32_t> offsets;
            for (TVrFile* item : all)
                offsets.push_back(item->Offset);
            offsets.push_back(0);
            AppendVrOffsets(head, offsets, 0); // placeholders, patched below
            for (TVrFile* item : all)
                head.U8(item->Stored);

            // The work file of a merge of the same archive that was
            // interrupted: what it holds right is kept, the rest written.
            int64_t first = 0;
            if (KeepWorkEntry && ArchiveFileOps().Exists(work)) {
                try {
                    out = std::make_unique<TTpBigFileStream>(work, fmOpenReadWrite, PieceSize);
                    WorkTakenUp taken = TakeUpWork(*out, work, PieceSize, head.Data(), tableAt, head.Size() - static_cast<size_t>(m), all, KeepWorkEntry);
                    if (taken.entries == 0) {
                        out.reset();
                    } else {
                        int64_t at = static_cast<int64_t>(head.Size());
                        for (size_t i = 0; i < taken.entries; ++i) {
                            TVrFile& item = *all[i];
                            offsets[i] = static_cast<int32_t>(at);
                            at += item.Size;
                            if (OnEntryDigest)
                                OnEntryDigest(item, taken.digests[i]);
                            if (AskedToStop(item)) {
                                out.reset();
                                DeleteBigFile(work);
                                return;
                            }
                        }
                        KeptEntries = static_cast<int32_t>(taken.entries);
                        KeptBytes = taken.end - static_cast<int64_t>(head.Size());
                        first = static_cast<int64_t>(taken.entries);
                        out->SetPosition(taken.end);
                    }
                } catch (const Exception&) {
                    out.reset(); // unreadable: written afresh
                }
            }
            if (!out) {
                out = std::make_unique<TTpBigFileStream>(work, fmCreate, PieceSize);
                out->Write(head.Data().data(), static_cast<int64_t>(head.Size()));
            }
            if (SyncOnMerge)
                out->SetWriteBehind(int64_t(16) << 20);
            std::optional<EntriesHashedBehind> hashed;
            if (OnEntryDigest)
                hashed.emplace(OnEntryDigest);

            for (int64_t i = first; i < m; ++i) {
                TVrFile& item = *all[static_cast<size_t>(i)];
                offsets[static_cast<size_t>(i)] = static_cast<int32_t>(out->GetPosition());
                if (item.Size > 0) {
                    TTpBigFileStream* from = fromSource[static_cast<size_t>(i)] ? source.Stream.get() : Stream.get();
                    if (!from)
                        ThrowReadError();
                    from->SetPosition(item.Offset);
                    if (from->GetPosition() != item.Offset)
                        ThrowReadError();
                    const bool known = !fromSource[static_cast<size_t>(i)] && DigestKnown && DigestKnown(item);
                    const int64_t at = out->GetPosition();
                    out->CopyFrom(*from, item.Size);
                    if (hashed && !known && !hashed->Add(item, *from, item.Offset, item.Size)) {
                        // No second reader: the copy is read back here.
                        std::vector<char> buffer(size_t(1) << 20);
                        out->SetPosition(at);
                        std::optional<platform::Sha256Digest> digest = HashBytes(*out, item.Size, buffer);
                        if (!digest)
                            ThrowReadError();
                        hashed->Add(item, *digest);
                    }
                } else if (hashed) {
                    hashed->Add(item, platform::Sha256::Of(""));
                }
                if (AskedToStop(item)) {
                    out.reset();
                    DeleteBigFile(work);
                    return;
                }
            }
            offsets.back() = static_cast<int32_t>(out->GetPosition());
            workPieces = FinishWorkArchive(*out, tableAt, offsets, MergeVersion, SyncOnMerge, work, OnFlushing);
            // The last digests are taken while the work file goes to the disk.
            if (hashed)
                hashed->Finish();
        } catch (...) {
            out.reset();
            DeleteBigFile(work);
            throw;
        }
    }

    for (const AnsiString& name : repaired)
        Damaged.erase(name);
    AnsiString target = FileName;
    Open(""); // the old archive's files are closed, so that they can be renamed
    try {
        ReplaceArchive(work, workPieces, target, OnFlushing, DeferReplacedDeletion ? &DeleteReplaced : nullptr);
    } catch (...) {
        try {
            Open(target);
        } catch (...) {
        }
        throw;
    }
    Open(target);
}

int FinishWorkArchive(TTpBigFileStream& out, int64_t tableAt, const std::vector<int32_t>& offsets, int32_t version,
                      bool sync, const AnsiString& work, const std::function<void()>& whileSyncing)
{
    ByteWriter table;
    AppendVrOffsets(table, offsets, version);
    out.SetPosition(tableAt);
    out.Write(table.Data().data(), static_cast<int64_t>(table.Size()));
    if (sync && !out.Sync(whileSyncing))
        throw EWriteError(msg::VrSync, { work });
    return out.PieceCount();
}

void ReplaceArchive(const AnsiString& workName, int workPieces, const AnsiString& target, const std::function<void()>& whileDeleting,
                    std::function<void()>* later)
{
    TArchiveFileOps& ops = ArchiveFileOps();
    AnsiString aside = ExtractFilePath(target) + kVrSetAsideFile;
    auto targetPiece = [&](int i) { return TTpBigFileStream::PieceNameOf(target, i); };
    auto workPiece = [&](int i) { return TTpBigFileStream::PieceNameOf(workName, i); };
    auto asidePiece = [&](int i) { return TTpBigFileStream::PieceNameOf(aside, i); };

    // The old archive's pieces, and any stray piece past a gap that would
    // otherwise become part of the new archive once the gap is filled.
    std::vector<int> old;
    int count = 0;
    while (ops.Exists(targetPiece(count)))
        old.push_back(count++);
    for (int i = count + 1; i <= workPieces; ++i)
        if (ops.Exists(targetPiece(i)))
            old.push_back(i);

    std::vector<int> setAside, movedIn;
    auto fail = [&](const AnsiString& from, const AnsiString& to) {
        bool restored = true;
        for (auto i = movedIn.rbegin(); i != movedIn.rend(); ++i)
            restored = ops.Rename(targetPiece(*i), workPiece(*i)) && restored;
        for (auto i = setAside.rbegin(); i != setAside.rend(); ++i)
            restored = ops.Rename(asidePiece(*i), targetPiece(*i)) && restored;
        // Only with the old archive back in place is the work archive spare.
        if (restored)
            DeleteBigFile(workName);
        throw EOSError(msg::VrRename, { from, to });
    };
    for (int i : old) {
        if (!ops.Rename(targetPiece(i), asidePiece(i)))
            fail(targetPiece(i), asidePiece(i));
        setAside.push_back(i);
    }
    for (int i = 0; i < workPieces; ++i) {
        if (!ops.Rename(workPiece(i), targetPiece(i)))
            fail(workPiece(i), targetPiece(i));
        movedIn.push_back(i);
    }
    // The new archive is whole; a set-aside piece that cannot be deleted now
    // is deleted by the next merge.
    std::vector<AnsiString> asideNames;
    for (int i : setAside)
        asideNames.push_back(asidePiece(i));
    auto deleteAside = [&ops, asideNames] {
        for (const AnsiString& name : asideNames)
            ops.Remove(name);
    };
    if (later)
        *later = deleteAside;
    else
        platform::RunAside(deleteAside, whileDeleting);
}

} // namespace tarn
