// The VF archive: a directory of named entries followed by their bytes,
// most of them zlib streams, stored through the multi-volume stream and
// scrambled with TTpRandom. TVrFileCollection is the in-memory directory of
// one archive; it loads entries by name and rebuilds archives by merging.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "archive/big_stream.h"
#include "archive/hash_collection.h"
#include "base/error.h"
#include "base/stream.h"
#include "platform/sha256.h"

namespace tarn {

// The key of both scrambling generators (names, offsets).
constexpr int32_t kVrArchiveSeed = 1513920225;
// Versions: below 100 plain; 100 scrambled; 101 and above scrambled with a
// table of stored (uncompressed) flags.
constexpr int32_t kVrScrambledVersion = 100;
constexpr int32_t kVrFlagsVersion = 101;
// The name of the entry a reader appends after the directory's own.
inline constexpr char kVrEndMarker[] = "\\EOF\\";
// The work file a merge builds beside the archive, and the name the old
// archive's pieces are set aside under while the new ones are put in place.
inline constexpr char kVrWorkFile[] = "$$tinstwk.dat";
inline constexpr char kVrSetAsideFile[] = "$$tinstold.dat";

// A damaged archive or entry: bad directory, bad zlib data, too large.
class EVrArchiveError : public Exception {
    using Exception::Exception;
};
// "%s:ファイルがありません": neither a loose file nor an entry of that name.
class EVrFileNotFound : public Exception {
    using Exception::Exception;
};

class TVrFile : public THashCollectionItem {
public:
    // Absolute position of the first byte in the archive stream.
    int32_t Offset = 0;
    // Bytes in the archive (the compressed size of a compressed entry).
    int32_t Size = 0;
    // Nonzero: the bytes are the content; 0: they are one zlib stream.
    uint8_t Stored = 0;

protected:
    friend class TVrFileCollection;
    using THashCollectionItem::THashCollectionItem;
    const char* ClassName() const override { return "TVrFile"; }
};

class TVrFileCollection;
// After every entry a merge copies; setting abort stops the merge.
using TVrProgressEvent = std::function<void(TVrFileCollection& sender, TVrFile& item, int32_t size, bool& abort)>;

class TVrFileCollection : public THashCollection {
public:
    TVrFileCollection() = default;
    ~TVrFileCollection() override;

    // Forgets the contents and opens fileName: an archive file (with its
    // pieces), a directory of loose files, or, with asFile, an archive that
    // does not exist yet. An empty name closes. Raises EFOpenError for a piece
    // that cannot be opened and EVrArchiveError for a damaged directory; the
    // collection is then empty and closed.
    void Open(const AnsiString& fileName, bool asFile = false);
    // Dest gets the entry's content at position 0: the loose file BaseDir +
    // name when there is one, else the archived entry (inflated unless
    // stored). Raises EVrFileNotFound when neither exists, EVrArchiveError
    // for bytes that are not one complete zlib stream.
    void LoadEntry(TMemoryStream& dest, const AnsiString& name);
    TVrFile& Items(int32_t index) const { return static_cast<TVrFile&>(Item(index)); }
    TVrFile& AddEntry(const AnsiString& name);
    void DeleteEntry(const AnsiString& name);
    // Rebuilds this archive with its own entries followed by every entry of
    // source whose name it lacks, then reopens it. On every path a whole
    // archive (the old one or the new one) stays under FileName.
    void Merge(TVrFileCollection& source);
    // Source's entries that a merge would add, in source's order: those whose
    // name IndexOf does not find here, except the end marker itself. Linear
    // in the number of names, whatever the chains look like.
    std::vector<TVrFile*> NewEntriesFrom(const TVrFileCollection& source) const;
    // The SHA-256 of an entry's stored bytes as this archive holds them;
    // none when they cannot be read whole.
    std::optional<platform::Sha256Digest> StoredDigest(const TVrFile& item);
    // The same for many entries, read side by side through this archive's
    // stream and a second one on the same file (two cores hash twice as
    // fast as one). listen is called on this thread between entries; false
    // stops, and the entries not reached get none.
    std::vector<std::optional<platform::Sha256Digest>> StoredDigests(const std::vector<const TVrFile*>& items,
                                                                     const std::function<bool()>& listen = {});

    AnsiString BaseDir;
    std::unique_ptr<TTpBigFileStream> Stream;
    TVrProgressEvent OnProgress;
    // When set, Merge tells the SHA-256 of every entry's stored bytes, in
    // the order of the entries and before it returns. They are read again
    // behind the copy, from the page cache it has just filled, so an
    // entry's digest may come after its OnProgress.
    std::function<void(TVrFile& item, const platform::Sha256Digest& digest)> OnEntryDigest;
    // When set: the entries of this archive it answers true for are copied
    // as they are, without passing through the program (their digest is
    // known from when they were written), and OnEntryDigest is not told.
    std::function<bool(const TVrFile& item)> DigestKnown;
    // Called while Merge waits for the finished archive to reach the disk
    // and for the old one to be deleted, every few MiB or 20 ms (no abort
    // there: the new archive is complete).
    std::function<void()> OnFlushing;
    // When set, Merge takes up the work file a merge interrupted half way
    // left behind, when it holds the same head (names, their order, flags,
    // version) as the archive to write: its entries are kept, in order, as
    // long as this answers true for the digest of the bytes found for each
    // (the entries then count as written: OnEntryDigest and OnProgress are
    // told), and the writing goes on from the first one it refuses.
    std::function<bool(const TVrFile& item, const platform::Sha256Digest& found)> KeepWorkEntry;
    // Entries of this archive (by lower-case name) whose stored bytes are
    // known to be wrong: Merge takes each from the source when the source
    // holds it, in its place (and then forgets it), and writes the archive
    // for that even when there is nothing to add.
    std::unordered_set<AnsiString> Damaged;
    // What the last Merge took up from a work file that way.
    int32_t KeptEntries = 0;
    int64_t KeptBytes = 0;
    AnsiString FileName;

    // ---- settings (kept by Open) ----
    // Size of the pieces of every stream this collection opens or writes.
    int64_t PieceSize = TTpBigFileStream::DefaultPieceSize;
    // The archive lies at the end of the file, its start in the last 4 bytes
    // (always so for the running executable).
    bool Appended = false;
    // False: a damaged directory is read as far as it goes (for describing
    // the damage) and its faults are listed in DirectoryProblems.
    bool StrictDirectory = true;
    // The largest inflated entry; more is an error.
    int64_t MaxEntrySize = MaxStreamSize;
    // The version Merge writes (101: stored entries survive; 100 as earlier builders wrote).
    int32_t MergeVersion = kVrFlagsVersion;
    // Merge puts the new archive on the disk before it replaces the old one.
    bool SyncOnMerge = true;
    // Set: the old archive a merge replaced is not deleted before Merge
    // returns; the deletion is left in DeleteReplaced, for the caller to run
    // while it goes on (also when Merge raised an error after the archive was
    // replaced), and to finish before the next Merge (a set-aside archive
    // left by a kill is deleted by the next merge).
    bool DeferReplacedDeletion = false;
    std::function<void()> DeleteReplaced;

    // ---- what Open found ----
    int32_t Version = 0;
    int64_t ArchiveStart = 0;
    StringList DirectoryProblems; // CP932 messages, only when not strict

protected:
    std::unique_ptr<THashCollectionItem> NewItem() override;

private:
    void ReadDirectory();
};

// Inflates dest's bytes in place (one complete zlib stream; bytes after its
// end are ignored). Raises EVrArchiveError naming what with zlib's message,
// or when the content would pass maxSize bytes.
void InflateEntry(TMemoryStream& dest, const AnsiString& what, int64_t maxSize = MaxStreamSize);

// Reads count bytes at offset as one zlib stream without keeping the
// content: "" when it inflates completely with a correct Adler-32, else what
// is wrong (zlib's message, or that the data is cut short).
AnsiString CheckZlibBytes(TTpBigStream& stream, int64_t offset, int32_t count);

// Writes the offset table over its placeholders at tableAt, flushes the
// work archive to the disk when sync is set (calling whileSyncing between
// parts of that), and returns its piece count.
int FinishWorkArchive(TTpBigFileStream& out, int64_t tableAt, const std::vector<int32_t>& offsets, int32_t version,
                      bool sync, const AnsiString& work, const std::function<void()>& whileSyncing = {});

// Puts the finished work archive (workPieces pieces of workName) in place of
// the archive target: the old pieces are set aside, the new ones renamed in,
// then the set-aside ones deleted (aside, calling whileDeleting meanwhile,
// when given: a large file takes a while to go; with later, the deletion is
// left there instead). A failed rename moves back what was moved and raises
// its error, so that a whole archive is always under target.
void ReplaceArchive(const AnsiString& workName, int workPieces, const AnsiString& target,
                    const std::function<void()>& whileDeleting = {}, std::function<void()>* later = nullptr);

// Deletes a multi-volume file and its pieces.
void DeleteBigFile(const AnsiString& fileName);

} // namespace tarn
