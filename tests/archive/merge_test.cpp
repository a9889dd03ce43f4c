#include <algorithm>
#include <optional>
#include <atomic>
#include <map>
#include <random>

#include "archive/file_ops.h"
#include "archive/vr_files.h"
#include "archive_test_util.h"
#include "base/codepage.h"
#include "base/error.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;
using vftest::Entry;

namespace {

// The bytes of an archive and all its pieces, one after the other.
std::string ArchiveBytes(const AnsiString& name)
{
    std::string all;
    for (int i = 0; platform::FileExists(TTpBigFileStream::PieceNameOf(name, i)); ++i)
        all += test::ReadFile(TTpBigFileStream::PieceNameOf(name, i));
    return all;
}

void WritePieces(const AnsiString& name, const std::string& bytes, size_t piece)
{
    for (size_t at = 0, i = 0; at < bytes.size() || i == 0; at += piece, ++i)
        test::WriteFile(TTpBigFileStream::PieceNameOf(name, static_cast<int>(i)), bytes.substr(at, piece));
}

StringList Files(const AnsiString& dir)
{
    StringList names;
    platform::DirectoryReader reader(dir, false);
    platform::DirEntry e;
    while (reader.Next(e))
        if (e.Name != "." && e.Name != "..")
            names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Load(TVrFileCollection& c, const AnsiString& name)
{
    TMemoryStream m;
    c.LoadEntry(m, name);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

struct Progress {
    std::vector<AnsiString> names;
    std::vector<int32_t> sizes;
    int abortAt = -1;
    void Attach(TVrFileCollection& target)
    {
        target.OnProgress = [this, &target](TVrFileCollection& sender, TVrFile& item, int32_t size, bool& abort) {
            EXPECT_EQ(&sender, &target);
            EXPECT_FALSE(abort);
            names.push_back(item.Name());
            sizes.push_back(size);
            abort = static_cast<int>(names.size()) - 1 == abortAt;
        };
    }
};

const std::vector<Entry> kSource = { { "bg01.gal", vftest::Zlib("picture one"), 0 },
                                     { "empty.txt", "", 0 },
                                     { "voice.ogg", "stored voice", 1 },
                                     { S(u8"台本.txt"), vftest::Zlib(Cp932ToUtf8Lossy(S(u8"台本"))), 0 } };

TEST(Merge, IntoAMissingTarget)
{
    TempDir src, dst;
    std::vector<Entry> withMarker = kSource;
    withMarker.push_back({ "\\EOF\\", "not an entry", 1 }); // a real entry of that exact name is never taken
    test::WriteFile(src / "game.dat", vftest::Build(101, withMarker));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.Open(dst / "game.dat", true);
    Progress progress;
    progress.Attach(target);
    target.Merge(source);

    // Exactly the archive the format tables give, at version 101.
    EXPECT_EQ(test::ReadFile(dst / "game.dat"), vftest::Build(101, kSource));
    EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" });
    EXPECT_EQ(progress.names, (std::vector<AnsiString>{ "bg01.gal", "empty.txt", "voice.ogg", S(u8"台本.txt") }));
    EXPECT_EQ(progress.sizes[1], 0);
    ASSERT_EQ(target.Count(), 5);
    EXPECT_EQ(target.Items(1).Offset, target.Items(2).Offset); // the empty entry
    EXPECT_EQ(Load(target, "BG01.GAL"), "picture one");
    EXPECT_EQ(Load(target, "voice.ogg"), "stored voice"); // stored entries survive
    EXPECT_EQ(Load(target, "empty.txt"), "");
}

TEST(Merge, SourceWhoseNamesAllExist)
{
    TempDir src, dst;
    test::WriteFile(dst / "game.dat", vftest::Build(100, { { "A.txt", vftest::Zlib("target a"), 0 }, { "b.txt", vftest::Zlib("target b"), 0 } }));
    test::WriteFile(src / "game.dat", vftest::Build(101, { { "a.TXT", "source a", 1 }, { "B.TXT", "source b", 1 } }));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.Open(dst / "game.dat");
    Progress progress;
    progress.Attach(target);
    target.Merge(source);
    // Rewritten at version 101, the same entries in the same order.
    EXPECT_EQ(test::ReadFile(dst / "game.dat"),
              vftest::Build(101, { { "A.txt", vftest::Zlib("target a"), 0 }, { "b.txt", vftest::Zlib("target b"), 0 } }));
    EXPECT_EQ(progress.names, (std::vector<AnsiString>{ "A.txt", "b.txt" }));
    EXPECT_EQ(Load(target, "a.txt"), "target a");
}

TEST(Merge, TargetFirstThenNewEntriesAndVersion100)
{
    TempDir src, dst;
    test::WriteFile(dst / "game.dat", vftest::Build(0, { { "old.txt", vftest::Zlib("old"), 0 } }));
    test::WriteFile(src / "game.dat", vftest::Build(101, { { "new.txt", "new", 1 }, { "OLD.TXT", "other", 1 } }));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.Open(dst / "game.dat");
    target.MergeVersion = 100;
    target.Merge(source);
    // Version 100 with the flag table, as earlier builders wrote it: the
    // same bytes as version 101 but for the version field...
    std::string expected = vftest::Build(101, { { "old.txt", vftest::Zlib("old"), 0 }, { "new.txt", "new", 1 } });
    expected[2] = 100;
    EXPECT_EQ(test::ReadFile(dst / "game.dat"), expected);
    // ... which readers take for compressed entries: the stored one is lost.
    EXPECT_EQ(Load(target, "old.txt"), "old");
    EXPECT_THROW(Load(target, "new.txt"), EVrArchiveError);
}

// Refuses to open the file at path for reading once more, or lets the reads
// through what it opens then fail.
class SecondReaderOps : public TArchiveFileOps {
public:
    SecondReaderOps(AnsiString path, bool unreadable) : path_(std::move(path)), unreadable_(unreadable) { }
    std::unique_ptr<platform::File> Open(std::string_view path, platform::File::Mode mode) override
    {
        if (path != std::string_view(path_) || mode != platform::File::Mode::Read)
            return TArchiveFileOps::Open(path, mode);
        if (!unreadable_)
            return nullptr;
        auto file = TArchiveFileOps::Open(path, mode);
        failing_ = file.get();
        return file;
    }
    int64_t Read(platform::File& file, void* buffer, int64_t n) override
    {
        return TArchiveFileOps::Read(file, buffer, &file == failing_ ? n / 2 : n);
    }

private:
    AnsiString path_;
    bool unreadable_;
    std::atomic<platform::File*> failing_{ nullptr };
};

TEST(Merge, DigestsOfTheStoredBytesComeWithTheSameArchive)
{
    // The same merge with and without digests: the same bytes, and each
    // entry's digest is that of its stored bytes (compressed ones as stored),
    // for entries larger than the blocks they are read in too. The digests
    // are taken behind the copy and come in the order of the entries.
    std::string big(size_t(3) << 20, 'b'), next((size_t(3) << 19) + 7, 'n');
    big[123456] = 'x';
    next.back() = 'y';
    std::vector<Entry> targetEntries = { { "old.txt", vftest::Zlib("old"), 0 } };
    std::vector<Entry> sourceEntries = { { "new.txt", "new", 1 }, { "big.bin", big, 1 }, { "after.txt", "after", 1 },
                                         { "next.bin", next, 1 }, { "none.txt", "", 1 } };
    enum Variant { Plain, Digests, AllKnown, SourceInPieces, NoSecondReader, Count };
    std::string merged[Count];
    for (int v = Plain; v < Count; ++v) {
        TempDir src, dst;
        test::WriteFile(dst / "game.dat", vftest::Build(101, targetEntries));
        TVrFileCollection source, target;
        if (v == SourceInPieces) {
            // big.bin lies across two pieces
            WritePieces(src / "game.dat", vftest::Build(101, sourceEntries), size_t(1) << 20);
            source.PieceSize = int64_t(1) << 20;
        } else {
            test::WriteFile(src / "game.dat", vftest::Build(101, sourceEntries));
        }
        source.Open(src / "game.dat");
        target.Open(dst / "game.dat");
        std::map<AnsiString, std::string> digests;
        std::vector<AnsiString> told;
        if (v != Plain)
            target.OnEntryDigest = [&](TVrFile& item, const platform::Sha256Digest& d) {
                digests[item.Name()] = platform::Sha256::Hex(d);
                told.push_back(item.Name());
            };
        if (v == AllKnown) // only the target's own entries are then copied unread
            target.DigestKnown = [](const TVrFile&) { return true; };
        {
            SecondReaderOps ops(src / "game.dat", false);
            std::optional<TScopedArchiveFileOps> scope;
            if (v == NoSecondReader) // the copy is read back instead
                scope.emplace(ops);
            target.Merge(source);
        }
        merged[v] = test::ReadFile(dst / "game.dat");
        if (v != Plain) {
            std::map<AnsiString, std::string> expected = {
                { "old.txt", platform::Sha256::Hex(platform::Sha256::Of(vftest::Zlib("old"))) },
                { "new.txt", platform::Sha256::Hex(platform::Sha256::Of("new")) },
                { "big.bin", platform::Sha256::Hex(platform::Sha256::Of(big)) },
                { "after.txt", platform::Sha256::Hex(platform::Sha256::Of("after")) },
                { "next.bin", platform::Sha256::Hex(platform::Sha256::Of(next)) },
                { "none.txt", platform::Sha256::Hex(platform::Sha256::Of("")) },
            };
            std::vector<AnsiString> inOrder; // the order of the merged archive
            for (int32_t i = 0; i < target.Count(); ++i)
                if (target.Items(i).Name() != kVrEndMarker && !(v == AllKnown && target.Items(i).Name() == "old.txt"))
                    inOrder.push_back(target.Items(i).Name());
            if (v == AllKnown)
                expected.erase("old.txt");
            EXPECT_EQ(digests, expected) << v;
            EXPECT_EQ(told, inOrder) << v;
            EXPECT_EQ(Load(target, "big.bin"), big);
            EXPECT_EQ(Load(target, "old.txt"), "old");
        }
    }
    for (int v = Digests; v < Count; ++v)
        EXPECT_EQ(merged[Plain], merged[v]) << v;

    // Reading an entry again fails: the merge fails as a failed read would,
    // and the archive stays as it was, with no work file beside it.
    TempDir src, dst;
    const std::string before = vftest::Build(101, targetEntries);
    test::WriteFile(dst / "game.dat", before);
    test::WriteFile(src / "game.dat", vftest::Build(101, sourceEntries));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.Open(dst / "game.dat");
    target.OnEntryDigest = [](TVrFile&, const platform::Sha256Digest&) {};
    SecondReaderOps ops(src / "game.dat", true);
    {
        TScopedArchiveFileOps scope(ops);
        EXPECT_THROW(target.Merge(source), Exception);
    }
    EXPECT_EQ(test::ReadFile(dst / "game.dat"), before);
    EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" });
}

TEST(Merge, AbortOnTheFirstEntryLeavesEverything)
{
    TempDir src, dst;
    std::string old = vftest::Build(101, { { "keep.txt", std::string(100, 'k'), 1 }, { "more.txt", std::string(100, 'm'), 1 } });
    WritePieces(dst / "game.dat", old, 64);
    test::WriteFile(src / "game.dat", vftest::Build(101, kSource));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.PieceSize = 64;
    target.Open(dst / "game.dat");
    StringList before = Files(dst.Path());
    Progress progress;
    progress.abortAt = 0;
    progress.Attach(target);
    target.Merge(source);
    EXPECT_EQ(progress.names.size(), 1u);
    EXPECT_EQ(ArchiveBytes(dst / "game.dat"), old);
    EXPECT_EQ(Files(dst.Path()), before); // no work file left
    // Still open on the old archive, without its end marker.
    EXPECT_EQ(target.Count(), 2);
    EXPECT_EQ(Load(target, "more.txt"), std::string(100, 'm'));
}

TEST(Merge, PiecesComeAndGo)
{
    TempDir src, dst;
    std::string big(300, 'b');
    // The old archive has five pieces of 64; the new one will have fewer.
    std::string old = vftest::Build(101, { { "x", big, 1 } });
    WritePieces(dst / "game.dat", old, 64);
    ASSERT_TRUE(platform::FileExists(dst / "game.004"));
    test::WriteFile(src / "game.dat", vftest::Build(101, { { "y", "small", 1 } }));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.PieceSize = 64;
    target.Open(dst / "game.dat");
    target.DeleteEntry("x");
    target.Merge(source);
    EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" });
    EXPECT_EQ(Load(target, "y"), "small");

    // Growing into pieces: the work pieces become game.001, ...; a stray
    // piece beyond a gap is not taken into the new archive.
    test::WriteFile(dst / "game.003", "stray");
    TVrFileCollection bigSource;
    test::WriteFile(src / "big.dat", vftest::Build(101, { { "z", big, 1 } }));
    bigSource.Open(src / "big.dat");
    target.Merge(bigSource);
    EXPECT_EQ(Files(dst.Path()), (StringList{ "game.001", "game.002", "game.003", "game.004", "game.005", "game.dat" }));
    std::string expected = vftest::Build(101, { { "y", "small", 1 }, { "z", big, 1 } });
    EXPECT_EQ(ArchiveBytes(dst / "game.dat"), expected);
    EXPECT_EQ(test::ReadFile(dst / "game.005"), expected.substr(5 * 64));
    EXPECT_EQ(Load(target, "z"), big);
}

TEST(Merge, WaitingForTheDiskIsReportedEveryFewMiB)
{
    // 40 MiB in two pieces of 32 MiB and 8 MiB: written out in parts of
    // 16 MiB, so two waits for the first piece and one for the second, and
    // more while the system finishes each piece's flush.
    TempDir src, dst;
    std::string big(40u << 20, 'w');
    test::WriteFile(src / "game.dat", vftest::Build(101, { { "big.bin", big, 1 } }));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.PieceSize = int64_t(32) << 20;
    target.Open(dst / "game.dat", true);
    int entries = 0, waits = 0;
    target.OnProgress = [&](TVrFileCollection&, TVrFile&, int32_t, bool&) {
        ++entries;
        EXPECT_EQ(waits, 0); // the waits come after the last entry
    };
    target.OnFlushing = [&] { ++waits; };
    target.Merge(source);
    EXPECT_EQ(entries, 1);
    EXPECT_GE(waits, 2 + 1);
    EXPECT_EQ(Load(target, "big.bin"), big);
}

TEST(Merge, StrayPieceRightAfterTheNewArchiveIsSetAside)
{
    TempDir src, dst;
    test::WriteFile(dst / "game.dat", vftest::Build(101, { { "a", "A", 1 } }));
    test::WriteFile(dst / "game.002", "stray");
    std::string body(80, 'q');
    test::WriteFile(src / "game.dat", vftest::Build(101, { { "q", body, 1 } }));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.PieceSize = 64;
    target.Open(dst / "game.dat");
    target.Merge(source); // two pieces: game.dat and game.001; game.002 would join them
    EXPECT_EQ(Files(dst.Path()), (StringList{ "game.001", "game.dat" }));
    EXPECT_EQ(ArchiveBytes(dst / "game.dat"), vftest::Build(101, { { "a", "A", 1 }, { "q", body, 1 } }));
}

TEST(Merge, TheReplacedArchiveGoesWhenTheCallerSays)
{
    TempDir src, dst;
    test::WriteFile(dst / "game.dat", vftest::Build(101, { { "a", "A", 1 } }));
    std::string body(80, 'q');
    test::WriteFile(src / "game.dat", vftest::Build(101, { { "q", body, 1 } }));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    target.PieceSize = 64;
    target.Open(dst / "game.dat");
    target.DeferReplacedDeletion = true;
    target.Merge(source);
    // The new archive is in place and whole; the old one lies aside.
    EXPECT_EQ(Files(dst.Path()), (StringList{ "$$tinstold.dat", "game.001", "game.dat" }));
    EXPECT_EQ(ArchiveBytes(dst / "game.dat"), vftest::Build(101, { { "a", "A", 1 }, { "q", body, 1 } }));
    EXPECT_EQ(Load(target, "q"), body);
    ASSERT_TRUE(target.DeleteReplaced);
    target.DeleteReplaced();
    EXPECT_EQ(Files(dst.Path()), (StringList{ "game.001", "game.dat" }));
    // Left undone (a kill), the next merge deletes it.
    test::WriteFile(dst / "$$tinstold.dat", "set aside");
    target.DeferReplacedDeletion = false;
    target.Merge(source);
    EXPECT_EQ(Files(dst.Path()), (StringList{ "game.001", "game.dat" }));
}

TEST(Merge, RefusesWhatOffsetsCannotHold)
{
    TempDir dst;
    test::WriteFile(dst / "game.dat", vftest::Build(101, { { "a", "A", 1 } }));
    TVrFileCollection target, source;
    target.Open(dst / "game.dat");
    TVrFile& fake = target.AddEntry("huge");
    // Directory 37 bytes, "a" 1 byte: this one just fits, and fails reading
    // (it is not in the file), leaving nothing behind.
    fake.Size = INT32_MAX - 38;
    EXPECT_THROW(target.Merge(source), EReadError);
    EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" });
    target.Open(dst / "game.dat");
    target.AddEntry("huge").Size = INT32_MAX - 37; // one byte more than offsets can hold
    try {
        target.Merge(source);
        FAIL();
    } catch (const EVrArchiveError& e) {
        EXPECT_NE(Cp932ToUtf8Lossy(e.Message()).find("2GB"), std::string::npos);
    }
    EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" }); // nothing written
    TVrFileCollection dirTarget;
    dirTarget.Open(dst.Path());
    EXPECT_THROW(dirTarget.Merge(source), EVrArchiveError);
}

TEST(Merge, LeftoversOfAnInterruptedMergeAreCleanedUp)
{
    TempDir src, dst;
    test::WriteFile(dst / "$$tinstwk.dat", "old work");
    test::WriteFile(dst / "$$tinstwk.001", "old work piece");
    test::WriteFile(dst / "$$tinstold.dat", "set aside");
    test::WriteFile(src / "game.dat", vftest::Build(101, kSource));
    TVrFileCollection source, target;
    source.Open(src / "game.dat");
    // Without an archive under its name, a set-aside piece may be the only
    // copy of one: it stays.
    target.Open(dst / "game.dat", true);
    target.Merge(source);
    EXPECT_EQ(Files(dst.Path()), (StringList{ "$$tinstold.dat", "game.dat" }));
    // With the archive there, the next merge removes it.
    target.Merge(source);
    EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" });
}

// A merge killed half way leaves its work file; the next merge of the same
// archive keeps what that file holds right, entry by entry from the first,
// and writes the rest: the archive is the same as an uninterrupted merge's.
TEST(Merge, AnInterruptedMergeIsTakenUpWhereItsWorkFileIsRight)
{
    std::vector<Entry> own = { { "old.txt", vftest::Zlib("old"), 0 }, { "keep.bin", std::string(5000, 'k'), 1 } };
    std::vector<Entry> added = { { "a.bin", std::string(7000, 'a'), 1 }, { "empty.txt", "", 1 },
                                 { "b.bin", std::string(9000, 'b'), 1 }, { "c.txt", vftest::Zlib("c"), 0 } };
    TempDir src, whole;
    test::WriteFile(src / "game.dat", vftest::Build(101, added));
    test::WriteFile(whole / "game.dat", vftest::Build(101, own));
    TVrFileCollection source;
    source.Open(src / "game.dat");
    std::map<AnsiString, std::string> digests;
    std::vector<int64_t> ends; // where each entry of the merged archive ends
    {
        TVrFileCollection target;
        target.Open(whole / "game.dat");
        target.OnEntryDigest = [&](TVrFile& item, const platform::Sha256Digest& d) { digests[item.Name()] = platform::Sha256::Hex(d); };
        target.Merge(source);
        for (int32_t i = 0; i < target.Count(); ++i)
            if (target.Items(i).Name() != kVrEndMarker)
                ends.push_back(int64_t(target.Items(i).Offset) + target.Items(i).Size);
    }
    const std::string merged = test::ReadFile(whole / "game.dat");
    ASSERT_EQ(ends.size(), 6u);

    struct Case {
        const char* what;
        int64_t cutAt;       // the work file as a kill left it
        int corrupt;         // an entry (from 1) whose first byte was changed since; -1: none
        int32_t kept;        // entries taken up
    };
    const Case cases[] = {
        { "cut inside the third entry", ends[2] - 100, -1, 2 },
        { "cut right after the fourth", ends[3], -1, 4 },
        { "everything but the table", ends[5], -1, 6 },
        { "second entry changed", ends[4], 1, 1 },
        { "cut inside the head", 10, -1, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dst;
        test::WriteFile(dst / "game.dat", vftest::Build(101, own));
        std::string work = merged.substr(0, static_cast<size_t>(c.cutAt));
        if (c.corrupt >= 0) {
            size_t at = static_cast<size_t>(ends[static_cast<size_t>(c.corrupt) - 1]); // its first byte
            work[at] = static_cast<char>(work[at] ^ 0x55);
        }
        test::WriteFile(dst / "$$tinstwk.dat", work);
        TVrFileCollection target;
        target.Open(dst / "game.dat");
        std::map<AnsiString, std::string> told;
        target.OnEntryDigest = [&](TVrFile& item, const platform::Sha256Digest& d) { told[item.Name()] = platform::Sha256::Hex(d); };
        Progress progress;
        progress.Attach(target);
        target.KeepWorkEntry = [&](const TVrFile& item, const platform::Sha256Digest& found) {
            return digests.at(item.Name()) == platform::Sha256::Hex(found);
        };
        target.Merge(source);
        EXPECT_EQ(target.KeptEntries, c.kept);
        EXPECT_EQ(target.KeptBytes, c.kept == 0 ? 0 : ends[static_cast<size_t>(c.kept) - 1] - ends[0] + int64_t(own[0].bytes.size()));
        EXPECT_TRUE(test::ReadFile(dst / "game.dat") == merged);
        EXPECT_EQ(told, digests); // kept entries are told as written ones are
        EXPECT_EQ(progress.names.size(), 6u);
        EXPECT_EQ(Files(dst.Path()), StringList{ "game.dat" });
    }

    // The work file of another merge (other entries) is no part of this one.
    TempDir dst, other;
    test::WriteFile(dst / "game.dat", vftest::Build(101, own));
    test::WriteFile(other / "game.dat", vftest::Build(101, { added[0], added[2] }));
    {
        TVrFileCollection o, target;
        o.Open(other / "game.dat");
        target.Open(dst / "game.dat");
        target.Merge(o);
        platform::RenameFile(dst / "game.dat", dst / "$$tinstwk.dat");
    }
    test::WriteFile(dst / "game.dat", vftest::Build(101, own));
    TVrFileCollection target;
    target.Open(dst / "game.dat");
    target.KeepWorkEntry = [](const TVrFile&, const platform::Sha256Digest&) { return true; };
    target.Merge(source);
    EXPECT_EQ(target.KeptEntries, 0);
    EXPECT_TRUE(test::ReadFile(dst / "game.dat") == merged);
}

// An entry known to be damaged is taken from a source that holds it, in its
// own place: the archive is the one an undamaged target gives.
TEST(Merge, DamagedEntriesAreTakenFromTheSourceInTheirPlace)
{
    std::vector<Entry> own = { { "first.bin", std::string(300, 'f'), 1 }, { "hurt.bin", std::string(400, 'h'), 1 },
                               { "last.txt", vftest::Zlib("last"), 0 } };
    std::vector<Entry> disc = { own[1], { "new.bin", std::string(200, 'n'), 1 } };
    TempDir src, good, bad;
    test::WriteFile(src / "game.dat", vftest::Build(101, disc));
    test::WriteFile(good / "game.dat", vftest::Build(101, own));
    std::string hurt = vftest::Build(101, own);
    hurt[hurt.find(std::string(400, 'h')) + 10] = 'x';
    test::WriteFile(bad / "game.dat", hurt);
    TVrFileCollection source, undamaged, damaged;
    source.Open(src / "game.dat");
    undamaged.Open(good / "game.dat");
    undamaged.Merge(source);
    damaged.Open(bad / "game.dat");
    EXPECT_NE(damaged.StoredDigest(damaged.Items(damaged.IndexOf("hurt.bin"))),
              undamaged.StoredDigest(undamaged.Items(undamaged.IndexOf("hurt.bin"))));
    damaged.Damaged.insert("hurt.bin");
    damaged.Merge(source);
    EXPECT_TRUE(test::ReadFile(bad / "game.dat") == test::ReadFile(good / "game.dat"));
    EXPECT_TRUE(damaged.Damaged.empty());
    EXPECT_EQ(damaged.StoredDigest(damaged.Items(damaged.IndexOf("hurt.bin"))), platform::Sha256::Of(std::string(400, 'h')));
}

// Every file operation of a merge, made to fail one at a time: afterwards a
// whole archive, the old or the new one, is under the archive's name, and
// the next merge leaves nothing else behind.
TEST(Merge, EveryFailurePointKeepsAWholeArchive)
{
    std::string old = vftest::Build(101, { { "keep.txt", std::string(90, 'k'), 1 }, { "also.txt", vftest::Zlib("also"), 0 } });
    std::vector<Entry> added = { { "new.bin", std::string(150, 'n'), 1 }, { "two.txt", vftest::Zlib("two"), 0 } };
    std::string merged = vftest::Build(101, { { "keep.txt", std::string(90, 'k'), 1 },
                                              { "also.txt", vftest::Zlib("also"), 0 },
                                              added[0],
                                              added[1] });
    int points = 0, failed = 0;
    for (int k = 0;; ++k) {
        SCOPED_TRACE(k);
        TempDir src, dst;
        WritePieces(dst / "game.dat", old, 64);
        test::WriteFile(src / "game.dat", vftest::Build(101, added));
        TVrFileCollection source, target;
        source.Open(src / "game.dat");
        target.PieceSize = 64;
        target.Open(dst / "game.dat");
        vftest::FailingOps ops;
        ops.failAt = k;
        bool threw = false;
        {
            TScopedArchiveFileOps scope(ops);
            try {
                target.Merge(source);
            } catch (const Exception&) {
                threw = true;
            }
        }
        if (ops.count <= k) {
            EXPECT_FALSE(threw);
            EXPECT_EQ(ArchiveBytes(dst / "game.dat"), merged);
            break;
        }
        ++points;
        failed += threw;
        std::string now = ArchiveBytes(dst / "game.dat");
        EXPECT_TRUE(now == old || now == merged) << ops.log.back();
        if (!threw) {
            EXPECT_EQ(now, merged) << ops.log.back();
        }
        {
            TVrFileCollection check;
            check.PieceSize = 64;
            check.Open(dst / "game.dat");
            EXPECT_EQ(Load(check, "keep.txt"), std::string(90, 'k'));
        }
        target.Open(""); // on Windows an open archive could not be replaced below

        // The next merge succeeds and cleans up whatever was left.
        TVrFileCollection again, source2;
        again.PieceSize = 64;
        again.SyncOnMerge = false;
        again.Open(dst / "game.dat");
        source2.Open(src / "game.dat");
        again.Merge(source2);
        EXPECT_EQ(ArchiveBytes(dst / "game.dat"), merged);
        for (const AnsiString& f : Files(dst.Path()))
            EXPECT_EQ(f.find("$$"), std::string::npos) << f << " after " << ops.log.back();
        EXPECT_EQ(Load(again, "two.txt"), "two");
    }
    // Opens, writes, kernel copies, syncs, renames aside and back, removals.
    EXPECT_GT(points, 15);
    EXPECT_GT(failed, 10);
}

TEST(Merge, OwnIndexGivesTheLookupsAnswers)
{
    std::mt19937 rng(11);
    const char* stems[] = { "bg", "BG", "Bg", "se", "\x83\x5c", "\x83\x7c", "ev", "\\eof\\", "\\EOF\\", "\\Eof\\" };
    auto randomName = [&] {
        AnsiString n = stems[rng() % 10];
        if (n.find("of") == std::string::npos && n.find("OF") == std::string::npos)
            n += std::to_string(rng() % 40) + (rng() % 2 ? ".gal" : ".GAL");
        return n;
    };
    for (int round = 0; round < 20; ++round) {
        TVrFileCollection target, source;
        for (int i = 0; i < 60; ++i)
            target.AddEntry(randomName());
        for (int i = 0; i < 80; ++i)
            source.AddEntry(randomName());
        std::vector<TVrFile*> expected;
        for (int32_t i = 0; i < source.Count(); ++i)
            if (target.IndexOf(source.Items(i).Name()) < 0 && source.Items(i).Name() != "\\EOF\\")
                expected.push_back(&source.Items(i));
        EXPECT_EQ(target.NewEntriesFrom(source), expected);
    }
}

} // namespace
