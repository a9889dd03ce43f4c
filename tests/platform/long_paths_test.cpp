// A tree deeper than MAX_PATH (260 characters): every routine of the file
// layer works there, as it does in a shallow one. Wine does not hold paths
// to MAX_PATH as Windows does, so on Windows the extended form the routines
// hand to the system is checked on its own as well.
#include <algorithm>

#include "base/error.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

#ifdef _WIN32
#include "platform/win32/win32.h"
#endif

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// Components of 50 characters with two-byte ones among them (ソ and 表
// have a 0x5C second byte), down to at least `length` characters.
AnsiString Level(int level) { return S(u8"深いフォルダ ソフト表 ") + std::to_string(level) + " " + AnsiString(24, 'x'); }

AnsiString DeepDirectory(const AnsiString& root, size_t length)
{
    AnsiString dir = root;
    for (int level = 0; dir.size() < length; ++level)
        dir += Level(level) + "\\";
    return dir;
}

TEST(LongPaths, CreateWriteListCopyRenameAndDelete)
{
    TempDir top;
    const AnsiString deep = DeepDirectory(top.Path(), 300);
    ASSERT_GT(deep.size(), 300u);
    ASSERT_TRUE(platform::ForceDirectories(deep + "sub"));
    ASSERT_TRUE(platform::DirectoryExists(deep + "sub"));
    EXPECT_EQ(platform::FileGetAttr(deep + "sub") & faDirectory, faDirectory);

    // Written through the stream the archive code uses, read back whole.
    const AnsiString file = deep + "game.dat";
    {
        TFileStream out(file, fmCreate);
        out.WriteBuffer("0123456789", 10);
    }
    EXPECT_TRUE(platform::FileExists(file));
    EXPECT_EQ(platform::FileSize(file), 10);
    EXPECT_EQ(FileSizeOf(file), 10);
    EXPECT_EQ(test::ReadFile(file), "0123456789");
    EXPECT_TRUE(platform::CanOpenForReading(file));
    platform::FileInfo info = platform::StatFile(file);
    EXPECT_TRUE(info.Exists && !info.IsDirectory && info.Size == 10);
    ASSERT_TRUE(platform::SetFileTimeUnix(file, 1000000000));
    EXPECT_EQ(platform::FileDosDateTime(file), platform::StatFile(file).DosDateTime);
    ASSERT_TRUE(platform::FileDosDateTime(file).has_value());
    WriteFileAtomically(deep + "install.dat", "description");
    EXPECT_EQ(test::ReadFile(deep + "install.dat"), "description");

    // Listed, with the subdirectory's entries after it.
    test::WriteFile(deep + "sub\\inner.txt", "inner");
    StringList list;
    ListFiles(top.Path(), faArchive, true, true, list, true, false, false, "");
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (StringList{ file, deep + "install.dat", deep + "sub\\inner.txt" }));

    // Copied (with its time and the read-only bit), then left as it is.
    const AnsiString copy = deep + "sub\\copy.dat";
    ASSERT_TRUE(platform::FileSetAttr(file, faReadOnly));
    EXPECT_EQ(CopyIfChangedOutcome(file, copy, true), CopyOutcome::Copied);
    EXPECT_EQ(test::ReadFile(copy), "0123456789");
    EXPECT_EQ(platform::FileGetAttr(copy) & faReadOnly, faReadOnly);
    EXPECT_EQ(platform::FileDosDateTime(copy), platform::FileDosDateTime(file));
    EXPECT_EQ(CopyIfChangedOutcome(file, copy, true), CopyOutcome::Unchanged);
    ASSERT_TRUE(platform::FileSetAttr(copy, 0));
    ASSERT_TRUE(platform::FileSetAttr(file, 0));

    // Renamed over another file.
    ASSERT_TRUE(platform::RenameFile(copy, deep + "install.dat"));
    EXPECT_EQ(test::ReadFile(deep + "install.dat"), "0123456789");
    EXPECT_FALSE(platform::FileExists(copy));

    // The volume is known, the short form still names the file, and the
    // containment check still sees inside.
    EXPECT_GT(platform::DiskFreeBytes(deep), 0);
    EXPECT_TRUE(platform::FileExists(platform::ShortPath(file)));
    EXPECT_TRUE(platform::DirectoryContains(top.Path(), deep + "sub"));

    // Deleted entry by entry, the directories last.
    EXPECT_TRUE(platform::RemoveFile(file));
    EXPECT_FALSE(platform::FileExists(file));
    EXPECT_FALSE(platform::RemoveDir(deep + "sub")); // not empty
    test::RemoveTree(top / Level(0));
    EXPECT_FALSE(platform::DirectoryExists(deep));
    StringList rest;
    ListFiles(top.Path(), faArchive, true, true, rest, true, false, false, "");
    EXPECT_EQ(rest, StringList{});
}

// A file that cannot be opened there is reported by its name, as anywhere.
TEST(LongPaths, AFailureNamesTheFile)
{
    TempDir top;
    const AnsiString missing = DeepDirectory(top.Path(), 300) + "missing.dat";
    try {
        TFileStream in(missing, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), S(u8"ファイル ") + platform::ShownPath(missing) + S(u8" は開けません"));
    }
}

#ifdef _WIN32
TEST(LongPaths, TheExtendedFormIsFullAndOnlyForLongPaths)
{
    using platform::SysPathWide;
    using platform::WithoutExtendedPrefix;
    // Short absolute paths keep the ordinary rules.
    EXPECT_EQ(SysPathWide(L"C:\\Games\\x"), L"C:\\Games\\x");
    const std::wstring long1 = L"C:\\" + std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b') + L"\\f.txt";
    EXPECT_EQ(SysPathWide(long1), L"\\\\?\\" + long1);
    // The extended form takes "." and ".." and slashes literally: they are
    // folded first.
    const std::wstring folded = L"C:\\" + std::wstring(120, L'a') + L"\\" + std::wstring(130, L'c') + L"\\f.txt";
    EXPECT_EQ(SysPathWide(L"C:/" + std::wstring(120, L'a') + L"/" + std::wstring(120, L'b') + L"/../" + std::wstring(130, L'c') +
                          L"/./f.txt"),
              L"\\\\?\\" + folded);
    // Network paths take the UNC form.
    const std::wstring unc = L"\\\\server\\share\\" + std::wstring(250, L'u');
    EXPECT_EQ(SysPathWide(unc), L"\\\\?\\UNC\\server\\share\\" + std::wstring(250, L'u'));
    EXPECT_EQ(WithoutExtendedPrefix(SysPathWide(unc)), unc);
    // A relative path is made full (it may be long only then).
    wchar_t cwd[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
    std::wstring relative = std::wstring(260, L'r');
    std::wstring full = std::wstring(cwd, n) + (cwd[n - 1] == L'\\' ? L"" : L"\\") + relative;
    EXPECT_EQ(SysPathWide(relative), L"\\\\?\\" + full);
    // What is extended already stays, and the prefix comes off again.
    EXPECT_EQ(SysPathWide(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(WithoutExtendedPrefix(L"\\\\?\\" + long1), long1);
    EXPECT_EQ(WithoutExtendedPrefix(L"C:\\x"), L"C:\\x");
}
#endif

} // namespace
