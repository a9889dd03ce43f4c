#include <algorithm>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <set>

#include "base/error.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

TEST(Files, ExistsAttributesSizeAndRemoval)
{
    TempDir dir;
    AnsiString f = dir / "a.txt";
    test::WriteFile(f, "hello");
    EXPECT_TRUE(platform::FileExists(f));
    EXPECT_FALSE(platform::DirectoryExists(f));
    EXPECT_TRUE(platform::DirectoryExists(dir.Path()));
    EXPECT_FALSE(platform::FileExists(dir.Path()));
    EXPECT_EQ(platform::FileSize(f), 5);
    EXPECT_EQ(platform::FileGetAttr(f) & (faDirectory | faReadOnly), 0);
    EXPECT_EQ(platform::FileGetAttr(dir.Path()) & faDirectory, faDirectory);
    EXPECT_EQ(platform::FileGetAttr(dir / "missing"), -1);
    ASSERT_TRUE(platform::FileSetAttr(f, faReadOnly));
    EXPECT_EQ(platform::FileGetAttr(f) & faReadOnly, faReadOnly);
    ASSERT_TRUE(platform::FileSetAttr(f, 0));
    EXPECT_EQ(platform::FileGetAttr(f) & faReadOnly, 0);
    EXPECT_TRUE(platform::RemoveFile(f));
    EXPECT_FALSE(platform::FileExists(f));
    EXPECT_FALSE(platform::RemoveFile(f));
}

TEST(Files, NamesWithTwoByteCharactersAndUnrepresentableOnes)
{
    TempDir dir;
    // A directory ending in ソ (second byte 5C) and a name with é, which CP932 lacks.
    AnsiString sub = dir / S(u8"ソフト表");
    ASSERT_TRUE(platform::ForceDirectories(sub + "\\deep\\er"));
    AnsiString accented = platform::PathFromHost(platform::DisplayPath(dir.Path()) + "caf\xC3\xA9.txt");
    test::WriteFile(sub + "\\x.dat", "1");
    test::WriteFile(accented, "2");
    EXPECT_TRUE(platform::FileExists(sub + "\\x.dat"));
    EXPECT_EQ(test::ReadFile(accented), "2");
    StringList names;
    ListFiles(dir.Path(), 0x2F, true, true, names, true, false, false, "");
    std::sort(names.begin(), names.end());
    StringList expected = { accented, sub + "\\x.dat" };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST(Files, AListingThatCannotBeReadFailsAndAFolderThatIsNotThereHoldsNothing)
{
    TempDir dir;
    ASSERT_TRUE(platform::ForceDirectories(dir / "sub"));
    test::WriteFile(dir / "sub\\b.txt", "b");
    test::WriteFile(dir / "sub\\a.txt", "a");
    std::vector<platform::DirEntry> listed = SortedDirectoryOrFail(dir / "sub");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].Name, "a.txt");
    // Gone already (moved away by a run that was stopped): empty, no error.
    EXPECT_TRUE(SortedDirectoryOrFail(dir / "gone").empty());
#ifndef _WIN32
    // A folder that is there but cannot be read is no empty folder.
    if (::geteuid() != 0) {
        const std::string sub = platform::DisplayPath(dir / "sub");
        ASSERT_EQ(::chmod(sub.c_str(), 0), 0);
        EXPECT_THROW(SortedDirectoryOrFail(dir / "sub"), EOSError);
        ::chmod(sub.c_str(), 0755);
    }
#endif
}

TEST(Files, RenameReplacesTheTarget)
{
    TempDir dir;
    test::WriteFile(dir / "a", "new");
    test::WriteFile(dir / "b", "old");
    ASSERT_TRUE(platform::RenameFile(dir / "a", dir / "b"));
    EXPECT_EQ(test::ReadFile(dir / "b"), "new");
    EXPECT_FALSE(platform::FileExists(dir / "a"));
}

TEST(Files, OpenFileReadWriteAndCopyRange)
{
    TempDir dir;
    auto f = platform::File::Open(dir / "f", platform::File::Mode::Create);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Write("0123456789", 10), 10);
    f->Seek(4);
    char buf[16];
    EXPECT_EQ(f->Read(buf, 16), 6);
    EXPECT_EQ(std::string(buf, 6), "456789");
    auto g = platform::File::Open(dir / "g", platform::File::Mode::Create);
    f->Seek(2);
    g->Seek(1);
    EXPECT_EQ(platform::File::CopyRange(*f, *g, 5), 5);
    EXPECT_EQ(f->Position(), 7);
    EXPECT_EQ(g->Position(), 6);
    g.reset();
    EXPECT_EQ(test::ReadFile(dir / "g"), std::string("\0" "23456", 6));
    EXPECT_FALSE(platform::File::Open(dir / "missing", platform::File::Mode::Read));
    EXPECT_FALSE(platform::File::Open(dir.Path(), platform::File::Mode::Read));
}

TEST(FileStream, ErrorsCarryTheSystemMessages)
{
    TempDir dir;
    try {
        TFileStream s(dir / "missing.dat", fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル ") + platform::ShownPath(dir / "missing.dat") + S(u8" は開けません"));
    }
    try {
        TFileStream s(dir / "no\\such\\dir.dat", fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル ") + platform::ShownPath(dir / "no\\such\\dir.dat") + S(u8" を作成できません"));
    }
    TFileStream w(dir / "x", fmCreate);
    w.WriteBuffer("abc", 3);
    EXPECT_EQ(w.GetSize(), 3);
    w.SetPosition(1);
    char c;
    w.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'b');
}

TEST(FileStream, AtomicWriteLeavesNoTemporaryFile)
{
    TempDir dir;
    test::WriteFile(dir / "install.dat", "old");
    WriteFileAtomically(dir / "install.dat", "new contents");
    EXPECT_EQ(test::ReadFile(dir / "install.dat"), "new contents");
    StringList all;
    ListFiles(dir.Path(), 0x3F, true, true, all, true, false, false, "");
    EXPECT_EQ(all, StringList{ dir / "install.dat" });
    EXPECT_THROW(WriteFileAtomically(dir / "missing\\x.dat", "x"), EFCreateError);
}

// ---- ListFiles ----

// Builds a tree: top files, two subdirectories with files and a nested one.
void MakeTree(const AnsiString& root)
{
    platform::ForceDirectories(root + "sub1\\nested");
    platform::ForceDirectories(root + "sub2");
    for (const char* f : { "a.dat", "b.txt", "sub1\\c.dat", "sub1\\nested\\d.DAT", "sub2\\e.txt", "sub2\\f.dat" })
        test::WriteFile(root + f, f);
}

TEST(ListFiles, RecursionPutsASubdirectorysEntriesRightAfterIt)
{
    TempDir dir;
    MakeTree(dir.Path());
    StringList list;
    ListFiles(dir.Path(), 0x3F, true, true, list, true, true, false, "");
    ASSERT_EQ(list.size(), 9u);
    for (size_t i = 0; i < list.size(); ++i) {
        const AnsiString& d = list[i];
        if (d.back() != '\\')
            continue;
        // Every entry below d follows it contiguously.
        size_t j = i + 1;
        while (j < list.size() && list[j].compare(0, d.size(), d) == 0)
            ++j;
        for (size_t k = j; k < list.size(); ++k)
            EXPECT_NE(list[k].compare(0, d.size(), d), 0) << list[k] << " is not right after " << d;
    }
    std::set<AnsiString> got(list.begin(), list.end());
    EXPECT_TRUE(got.count(dir / "sub1\\nested\\"));
    EXPECT_TRUE(got.count(dir / "sub1\\nested\\d.DAT"));
}

TEST(ListFiles, InstallRunArgumentsGiveEveryFileAndNoDirectory)
{
    TempDir dir;
    MakeTree(dir.Path());
    StringList list = { "stale" };
    ListFiles(dir.Path(), 0x2F, true, false, list, true, false, false, "");
    EXPECT_EQ(list.size(), 7u); // not cleared: "stale" stays first
    EXPECT_EQ(list[0], "stale");
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_NE(list[i].back(), '\\');
}

TEST(ListFiles, NestedDirectoriesAlwaysGetABackslash)
{
    TempDir dir;
    MakeTree(dir.Path());
    StringList list;
    ListFiles(dir.Path(), 0x10, false, true, list, true, false, false, "");
    std::set<AnsiString> got(list.begin(), list.end());
    EXPECT_EQ(got, (std::set<AnsiString>{ dir / "sub1", dir / "sub2", dir / "sub1\\nested\\" }));
}

TEST(ListFiles, ExtensionFiltersFilesOnlyWithoutRegardToCase)
{
    TempDir dir;
    MakeTree(dir.Path());
    StringList list;
    ListFiles(dir.Path(), 0x3F, true, true, list, true, false, false, ".dat");
    std::set<AnsiString> got(list.begin(), list.end());
    EXPECT_EQ(got, (std::set<AnsiString>{ dir / "a.dat", dir / "sub1", dir / "sub1\\c.dat", dir / "sub1\\nested\\",
                                          dir / "sub1\\nested\\d.DAT", dir / "sub2", dir / "sub2\\f.dat" }));
}

TEST(ListFiles, ClearAttrsReachesEntriesTheListDoesNotReceive)
{
    TempDir dir;
    MakeTree(dir.Path());
    for (const char* f : { "a.dat", "sub1\\nested\\d.DAT", "sub2\\e.txt" })
        ASSERT_TRUE(platform::FileSetAttr(dir / f, faReadOnly));
    ASSERT_TRUE(platform::FileSetAttr(dir / "sub2", faReadOnly));
    StringList list;
    // Only .none files are wanted: nothing is listed, but every entry is cleared.
    ListFiles(dir.Path(), 0x2F, true, true, list, true, false, true, ".none");
    EXPECT_TRUE(list.empty());
    for (const char* f : { "a.dat", "sub1\\nested\\d.DAT", "sub2\\e.txt", "sub2" })
        EXPECT_EQ(platform::FileGetAttr(dir / f) & (faReadOnly | faHidden), 0) << f;
}

TEST(ListFiles, MissingOrEmptyDirectoryAddsNothing)
{
    TempDir dir;
    StringList list = { "x" };
    ListFiles(dir / "missing", 0x3F, true, false, list, true, false, false, "");
    ListFiles(dir.Path(), 0x3F, true, false, list, true, false, false, "");
    EXPECT_EQ(list, StringList{ "x" });
}

// ---- CopyIfChanged, FileSizeOf ----

TEST(CopyIfChanged, EqualDateAndSizeCopiesNothing)
{
    TempDir dir;
    test::WriteFile(dir / "src", "AAAA");
    test::WriteFile(dir / "dst", "BBBB");
    ASSERT_TRUE(platform::SetFileTimeUnix(dir / "src", 1600000000));
    ASSERT_TRUE(platform::SetFileTimeUnix(dir / "dst", 1600000001)); // the same two-second DOS slot
    ASSERT_EQ(platform::FileDosDateTime(dir / "src"), platform::FileDosDateTime(dir / "dst"));
    EXPECT_TRUE(CopyIfChanged(dir / "src", dir / "dst", true));
    EXPECT_EQ(test::ReadFile(dir / "dst"), "BBBB");
    EXPECT_EQ(CopyIfChangedOutcome(dir / "src", dir / "dst", true), CopyOutcome::Unchanged);
    // Without skipSame it always copies, keeping the source's time.
    EXPECT_EQ(CopyIfChangedOutcome(dir / "src", dir / "dst", false), CopyOutcome::Copied);
    EXPECT_EQ(test::ReadFile(dir / "dst"), "AAAA");
    EXPECT_EQ(CopyIfChangedOutcome(dir / "missing", dir / "dst", true), CopyOutcome::Failed);
}

TEST(CopyIfChanged, EqualDateOtherSizeCopies)
{
    TempDir dir;
    test::WriteFile(dir / "src", "AAAA");
    test::WriteFile(dir / "dst", "BB");
    ASSERT_TRUE(platform::SetFileTimeUnix(dir / "src", 1600000000));
    ASSERT_TRUE(platform::SetFileTimeUnix(dir / "dst", 1600000000));
    EXPECT_TRUE(CopyIfChanged(dir / "src", dir / "dst", true));
    EXPECT_EQ(test::ReadFile(dir / "dst"), "AAAA");
    EXPECT_EQ(platform::FileDosDateTime(dir / "dst"), platform::FileDosDateTime(dir / "src"));
}

TEST(CopyIfChanged, OtherDateCopiesAndKeepsAttributes)
{
    TempDir dir;
    test::WriteFile(dir / "src", "AAAA");
    test::WriteFile(dir / "dst", "BBBB");
    ASSERT_TRUE(platform::SetFileTimeUnix(dir / "src", 1600000000));
    ASSERT_TRUE(platform::FileSetAttr(dir / "src", faReadOnly));
    EXPECT_TRUE(CopyIfChanged(dir / "src", dir / "dst", true));
    EXPECT_EQ(test::ReadFile(dir / "dst"), "AAAA");
    EXPECT_EQ(platform::FileGetAttr(dir / "dst") & faReadOnly, faReadOnly);
    // A read-only target is not overwritten: the copy reports failure.
    test::WriteFile(dir / "src2", "CCCC");
    EXPECT_FALSE(CopyIfChanged(dir / "src2", dir / "dst", false));
    EXPECT_EQ(test::ReadFile(dir / "dst"), "AAAA");
    EXPECT_FALSE(CopyIfChanged(dir / "missing", dir / "new", true));
    EXPECT_TRUE(CopyIfChanged(dir / "src2", dir / "new", true));
    EXPECT_EQ(test::ReadFile(dir / "new"), "CCCC");
}

TEST(CopyIfChanged, WithProgressInPiecesKeepingTimeAndAttributes)
{
    TempDir dir;
    std::string big(size_t(20) << 20, 'p');
    big[12345678] = 'x';
    test::WriteFile(dir / "big", big);
    ASSERT_TRUE(platform::SetFileTimeUnix(dir / "big", 1600000000));
    ASSERT_TRUE(platform::FileSetAttr(dir / "big", faReadOnly));
    test::WriteFile(dir / "copy", "older and shorter");
    std::vector<int64_t> seen;
    EXPECT_TRUE(CopyIfChanged(dir / "big", dir / "copy", true, [&](int64_t done) {
        seen.push_back(done);
        return true;
    }));
    EXPECT_EQ(test::ReadFile(dir / "copy"), big);
    EXPECT_EQ(platform::StatFile(dir / "copy").DosDateTime, platform::StatFile(dir / "big").DosDateTime);
    EXPECT_EQ(platform::FileGetAttr(dir / "copy") & faReadOnly, faReadOnly);
    // A report every 2 MiB at most, growing, ending at the size.
    ASSERT_GE(seen.size(), 10u);
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_LE(seen[i] - (i ? seen[i - 1] : 0), int64_t(2) << 20);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), static_cast<int64_t>(big.size()));
    // Unchanged now: skipped without a report; a missing source leaves no target.
    seen.clear();
    auto count = [&](int64_t done) {
        seen.push_back(done);
        return true;
    };
    EXPECT_TRUE(CopyIfChanged(dir / "big", dir / "copy", true, count));
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(CopyIfChanged(dir / "missing", dir / "none", true, count));
    EXPECT_FALSE(platform::FileExists(dir / "none"));
    platform::FileSetAttr(dir / "big", 0);
    platform::FileSetAttr(dir / "copy", 0);
}

TEST(CopyIfChanged, ProgressStopsACopyAndLeavesNoHalfFile)
{
    TempDir dir;
    test::WriteFile(dir / "big", std::string(size_t(20) << 20, 's'));
    int reports = 0;
    auto stopAtTheSecond = [&](int64_t) { return ++reports < 2; };
    EXPECT_EQ(CopyIfChangedOutcome(dir / "big", dir / "new", true, stopAtTheSecond), CopyOutcome::Stopped);
    EXPECT_EQ(reports, 2); // nothing more was copied after the answer
    EXPECT_FALSE(platform::FileExists(dir / "new"));
    // Over an older copy, which is not left half-written either.
    test::WriteFile(dir / "old", "an older copy");
    reports = 0;
    EXPECT_EQ(CopyIfChangedOutcome(dir / "big", dir / "old", true, stopAtTheSecond), CopyOutcome::Stopped);
    EXPECT_FALSE(platform::FileExists(dir / "old"));
}

TEST(FileSizeOf, SizeOrZero)
{
    TempDir dir;
    test::WriteFile(dir / "f", std::string(1234, 'x'));
    EXPECT_EQ(FileSizeOf(dir / "f"), 1234);
    EXPECT_EQ(FileSizeOf(dir / "missing"), 0);
    EXPECT_EQ(FileSizeOf(dir.Path()), 0);
}

TEST(SpecialFolders, ProgramFilesAndTemp)
{
    AnsiString pf = GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER);
    EXPECT_FALSE(pf.empty());
    EXPECT_EQ(pf[1], ':');
    AnsiString tmp = platform::TempDirectory();
    EXPECT_EQ(tmp.back(), '\\');
    EXPECT_TRUE(platform::DirectoryExists(tmp));
    EXPECT_EQ(platform::WindowsDirectory()[1], ':');
    EXPECT_TRUE(platform::FileExists(platform::ModuleFileName()));
    EXPECT_GT(platform::DiskFreeBytes(tmp), 0);
}

} // namespace
