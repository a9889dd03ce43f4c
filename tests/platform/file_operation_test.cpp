// The shell's file operation: deletion to the trash (POSIX: the freedesktop
// trash through GIO, looked at in its folders and with gio; other mounts
// where the test may mount them; Windows under Wine: the same trash of the
// Unix home, which the shell uses when it is there) and deletion for good.
#include <string>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>
#endif

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

const uint32_t kWizardFlags = platform::kFofSilent | platform::kFofNoConfirmation | platform::kFofAllowUndo | platform::kFofFilesOnly;

std::string NullList(const StringList& names)
{
    std::string list;
    for (const AnsiString& n : names)
        list += n + '\0';
    return list + '\0';
}

platform::FileOperationResult Delete(const StringList& names, uint32_t flags)
{
    return platform::ShellFileOperation(platform::kFoDelete, NullList(names), NullList({}), flags, "");
}

TEST(ShellFileOperation, DeletedNamesAreGoneWithEverythingInThem)
{
    TempDir dir;
    test::WriteFile(dir / "plain.txt", "1");
    test::WriteFile(dir / S(u8"表示ソ.dat"), "2");
    platform::ForceDirectories(dir / "sub\\deeper");
    test::WriteFile(dir / "sub\\deeper\\x", "3");
    test::WriteFile(dir / "kept.txt", "4");
    platform::FileOperationResult r =
        Delete({ dir / "plain.txt", dir / S(u8"表示ソ.dat"), dir / "sub" }, kWizardFlags | platform::kFofNoErrorUi);
    EXPECT_EQ(r.AnyOperationsAborted, 0);
    EXPECT_TRUE(r.Failures.empty());
    EXPECT_FALSE(platform::FileExists(dir / "plain.txt"));
    EXPECT_FALSE(platform::FileExists(dir / S(u8"表示ソ.dat")));
    EXPECT_FALSE(platform::DirectoryExists(dir / "sub"));
    EXPECT_TRUE(platform::FileExists(dir / "kept.txt"));
    // No names: nothing happens.
    r = Delete({}, kWizardFlags);
    EXPECT_TRUE(r.Failures.empty());
    EXPECT_TRUE(platform::FileExists(dir / "kept.txt"));
}

#ifndef _WIN32

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

std::string ReadHost(const std::string& host) { return test::ReadFile(platform::PathFromHost(host)); }

bool HostExists(const std::string& host)
{
    struct stat st;
    return ::lstat(host.c_str(), &st) == 0;
}

// The value of a key in a .trashinfo file ("" when it has none).
std::string InfoValue(const std::string& info, const std::string& key)
{
    size_t at = info.find("\n" + key + "=");
    if (at == std::string::npos)
        return std::string();
    at += key.size() + 2;
    return info.substr(at, info.find('\n', at) - at);
}

std::string Unescaped(const std::string& uriPath)
{
    gchar* text = g_uri_unescape_string(uriPath.c_str(), nullptr);
    std::string s = text ? text : "";
    g_free(text);
    return s;
}

// Checks that trash (a trash folder: files/ and info/) holds name, trashed
// from original: the entry itself, and its record with the original path
// (relative to top for a trash at a mount's top) and the deletion date.
void ExpectTrashed(const std::string& trash, const std::string& name, const std::string& original, const std::string& top = "")
{
    EXPECT_TRUE(HostExists(trash + "/files/" + name)) << trash << " " << name;
    std::string infoFile = trash + "/info/" + name + ".trashinfo";
    ASSERT_TRUE(HostExists(infoFile)) << infoFile;
    std::string info = ReadHost(infoFile);
    EXPECT_EQ(info.compare(0, 12, "[Trash Info]"), 0) << info;
    std::string path = Unescaped(InfoValue(info, "Path"));
    EXPECT_EQ(path[0] == '/' ? path : top + "/" + path, original) << info;
    std::string date = InfoValue(info, "DeletionDate");
    EXPECT_EQ(date.size(), 19u) << info; // YYYY-MM-DDThh:mm:ss
    EXPECT_EQ(date.find('T'), 10u) << info;
}

// A byte string as gio prints it: bytes outside printable ASCII as \xNN.
std::string AsGioPrints(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += (c < 0x20 || c > 0x7E) ? std::string(hex) : std::string(1, static_cast<char>(c));
    }
    return out;
}

std::string HomeTrash() { return platform::GetEnv("XDG_DATA_HOME") + "/Trash"; }

TEST(ShellFileOperation, UndoableDeletionGoesToTheHomeTrash)
{
    TARN_REQUIRE_TOOL("gio");
    TARN_REQUIRE_TOOL("dbus-run-session");
    TempDir dir, outside;
    std::string host = Host(dir.Path());
    test::WriteFile(dir / "home file 1.txt", "one");
    test::WriteFile(dir / S(u8"ゲーム ソフト.dat"), "two");
    platform::ForceDirectories(dir / "folder 1\\inner");
    test::WriteFile(dir / "folder 1\\inner\\deep.txt", "three");
    // A link to a folder goes as a link: what it points to stays.
    test::WriteFile(outside / "target.txt", "stays");
    ASSERT_EQ(::symlink(Host(outside.Path()).c_str(), (host + "link 1").c_str()), 0);

    StringList names = { dir / "home file 1.txt", dir / S(u8"ゲーム ソフト.dat"), dir / "folder 1", dir / "link 1", dir / "missing 1" };
    platform::FileOperationResult r = Delete(names, kWizardFlags);
    EXPECT_EQ(r.AnyOperationsAborted, 0);
    // The missing name is reported, and the rest went on.
    ASSERT_EQ(r.Failures.size(), 1u);
    EXPECT_EQ(r.Failures[0].first, dir / "missing 1");
    EXPECT_FALSE(r.Failures[0].second.empty());
    for (const char* gone : { "home file 1.txt", "ゲーム ソフト.dat", "folder 1", "link 1" })
        EXPECT_FALSE(HostExists(host + gone)) << gone;
    EXPECT_EQ(test::ReadFile(outside / "target.txt"), "stays");

    ExpectTrashed(HomeTrash(), "home file 1.txt", host + "home file 1.txt");
    ExpectTrashed(HomeTrash(), "ゲーム ソフト.dat", host + "ゲーム ソフト.dat");
    ExpectTrashed(HomeTrash(), "folder 1", host + "folder 1");
    ExpectTrashed(HomeTrash(), "link 1", host + "link 1");
    EXPECT_EQ(ReadHost(HomeTrash() + "/files/folder 1/inner/deep.txt"), "three");
    struct stat st;
    ASSERT_EQ(::lstat((HomeTrash() + "/files/link 1").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // The desktop's own view of the trash (gvfs, on a bus of its own).
    platform::ProcessResult list = platform::RunProcess(test::ToolPath("dbus-run-session"),
                                                        { "--", Host(test::ToolPath("gio")), "trash", "--list" });
    ASSERT_EQ(list.ExitCode, 0) << list.Err;
    for (const char* gone : { "home file 1.txt", "ゲーム ソフト.dat", "folder 1", "link 1" })
        EXPECT_NE(list.Out.find("\t" + AsGioPrints(host + gone) + "\n"), std::string::npos) << gone << "\n" << list.Out;
}

TEST(ShellFileOperation, DeletionForGoodRemovesLinksNotWhatTheyPointTo)
{
    TempDir dir, outside;
    std::string host = Host(dir.Path());
    platform::ForceDirectories(dir / "tree 2\\a\\b");
    test::WriteFile(dir / "tree 2\\a\\b\\f", "x");
    test::WriteFile(outside / "target.txt", "stays");
    ASSERT_EQ(::symlink(Host(outside.Path()).c_str(), (host + "tree 2/a/into-outside").c_str()), 0);
    ASSERT_EQ(::symlink(Host(outside / "target.txt").c_str(), (host + "file link 2").c_str()), 0);
    ASSERT_EQ(::symlink((host + "nowhere").c_str(), (host + "dangling 2").c_str()), 0);
    platform::FileOperationResult r =
        Delete({ dir / "tree 2", dir / "file link 2", dir / "dangling 2" }, platform::kFofSilent | platform::kFofNoConfirmation);
    EXPECT_TRUE(r.Failures.empty());
    for (const char* gone : { "tree 2", "file link 2", "dangling 2" })
        EXPECT_FALSE(HostExists(host + gone)) << gone;
    EXPECT_EQ(test::ReadFile(outside / "target.txt"), "stays");
    EXPECT_FALSE(HostExists(HomeTrash() + "/files/tree 2"));
}

TEST(ShellFileOperation, OnlyDeletionIsCarriedOut)
{
    TempDir dir;
    test::WriteFile(dir / "a.txt", "a");
    for (uint32_t function : { platform::kFoMove, platform::kFoCopy, platform::kFoRename, 0u, 99u }) {
        platform::FileOperationResult r =
            platform::ShellFileOperation(function, NullList({ dir / "a.txt", dir / "b.txt" }), NullList({ dir / "c.txt" }), 0, "");
        ASSERT_EQ(r.Failures.size(), 2u) << function;
        EXPECT_EQ(r.Failures[1].first, dir / "b.txt");
        EXPECT_TRUE(platform::FileExists(dir / "a.txt"));
        EXPECT_FALSE(platform::FileExists(dir / "c.txt"));
    }
}

// A file system mounted by the test at its own mount point, and unmounted
// there (lazily when busy) however the test ends.
class TestMount {
public:
    // Empty why: mounted.
    TestMount(const std::vector<std::string>& mountArgs, const std::string& point, std::string& why) : point_(point)
    {
        if (::geteuid() != 0) {
            why = "not root";
            return;
        }
        platform::ProcessResult r = platform::RunProcess(test::ToolPath("mount"), mountArgs);
        if (r.ExitCode != 0) {
            why = "mount refused: " + r.Err;
            return;
        }
        mounted_ = true;
    }
    ~TestMount()
    {
        if (mounted_ && platform::RunProcess(test::ToolPath("umount"), { point_ }).ExitCode != 0)
            platform::RunProcess(test::ToolPath("umount"), { "-l", point_ });
    }
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

private:
    std::string point_;
    bool mounted_ = false;
};

TEST(ShellFileOperationOnOtherMounts, AMountWithoutATrashKeepsItsFiles)
{
    TARN_REQUIRE_TOOL("mount");
    TempDir dir;
    platform::ForceDirectories(dir / "tmpfs");
    std::string point = Host(dir / "tmpfs"), why;
    TestMount mount({ "-t", "tmpfs", "-o", "size=1m", "tarn-test", point }, point, why);
    if (!why.empty())
        GTEST_SKIP() << "the tmpfs part did not run (" << why << "); the home trash is checked on its own";
    test::WriteFile(dir / "tmpfs\\kept.txt", "kept");
    platform::ForceDirectories(dir / "tmpfs\\folder");
    platform::FileOperationResult r = Delete({ dir / "tmpfs\\kept.txt", dir / "tmpfs\\folder" }, kWizardFlags);
    // GIO has no trash there: both are failures with its reason, and both stay.
    ASSERT_EQ(r.Failures.size(), 2u);
    EXPECT_EQ(r.Failures[0].first, dir / "tmpfs\\kept.txt");
    EXPECT_FALSE(r.Failures[0].second.empty());
    EXPECT_EQ(test::ReadFile(dir / "tmpfs\\kept.txt"), "kept");
    EXPECT_TRUE(platform::DirectoryExists(dir / "tmpfs\\folder"));
    EXPECT_FALSE(HostExists(point + "/.Trash-" + std::to_string(::geteuid())));
}

TEST(ShellFileOperationOnOtherMounts, AnotherDiskUsesItsOwnTrash)
{
    TARN_REQUIRE_TOOL("mount");
    TARN_REQUIRE_TOOL("mkfs.ext4");
    TempDir dir;
    {
        auto image = platform::File::Open(dir / "disk.img", platform::File::Mode::Create);
        ASSERT_TRUE(image && image->SetSize(8 << 20));
    }
    platform::ProcessResult mkfs = platform::RunProcess(test::ToolPath("mkfs.ext4"), { "-q", "-F", Host(dir / "disk.img") });
    ASSERT_EQ(mkfs.ExitCode, 0) << mkfs.Err;
    platform::ForceDirectories(dir / "ext4");
    std::string point = Host(dir / "ext4"), why;
    TestMount mount({ "-o", "loop", Host(dir / "disk.img"), point }, point, why);
    if (!why.empty())
        GTEST_SKIP() << "the loop-mounted disk part did not run (" << why << "); the home trash is checked on its own";
    platform::ForceDirectories(dir / "ext4\\game dir");
    test::WriteFile(dir / "ext4\\game dir\\save.dat", "save");
    test::WriteFile(dir / "ext4\\top.txt", "top");
    platform::FileOperationResult r = Delete({ dir / "ext4\\game dir", dir / "ext4\\top.txt" }, kWizardFlags);
    EXPECT_TRUE(r.Failures.empty()) << (r.Failures.empty() ? "" : Cp932ToUtf8Lossy(r.Failures[0].second));
    EXPECT_FALSE(HostExists(point + "/game dir"));
    EXPECT_FALSE(HostExists(point + "/top.txt"));
    std::string trash = point + "/.Trash-" + std::to_string(::geteuid());
    ExpectTrashed(trash, "game dir", point + "/game dir", point);
    ExpectTrashed(trash, "top.txt", point + "/top.txt", point);
    EXPECT_EQ(ReadHost(trash + "/files/game dir/save.dat"), "save");
    EXPECT_FALSE(HostExists(HomeTrash() + "/files/top.txt"));
}

#else // _WIN32

// The trash of the Unix home as a program path, where Wine's shell keeps it
// ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash); "" outside Wine. Wine
// hides HOME from Windows programs and gives the home as WINEHOMEDIR.
AnsiString WineHomeTrash()
{
    using ToDos = WCHAR*(CDECL*)(const char*);
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(found));
    if (!toDos)
        return AnsiString();
    std::string data = platform::GetEnv("XDG_DATA_HOME");
    if (!data.empty() && data[0] == '/') {
        WCHAR* dos = toDos(data.c_str());
        if (!dos)
            return AnsiString();
        std::wstring w(dos);
        HeapFree(GetProcessHeap(), 0, dos);
        AnsiString dir = Utf16ToAnsi(std::u16string(w.begin(), w.end()));
        return platform::DirectoryExists(dir) ? AddBackslash(dir) + "Trash" : AnsiString();
    }
    std::string home = platform::GetEnv("WINEHOMEDIR"); // \??\Z:\home\me
    if (home.rfind("\\??\\", 0) != 0)
        return AnsiString();
    AnsiString dir = HostUtf8ToAnsi(home.substr(4));
    return platform::DirectoryExists(dir) ? AddBackslash(dir) + ".local\\share\\Trash" : AnsiString();
}

// With the flags the wizard passes (undo among them), every name goes to the
// trash, two-byte names as they are; what is not named stays.
TEST(ShellFileOperation, UndoableDeletionUnderWineGoesToTheHomeTrash)
{
    AnsiString trash = WineHomeTrash();
    if (trash.empty()) {
        if (test::UnderCI())
            FAIL() << "not running under Wine, or its home trash cannot be found";
        GTEST_SKIP() << "only Wine's shell is known to put the trash in the Unix home";
    }
    // Wine's shell deletes for good unless the trash is already there.
    ASSERT_TRUE(platform::ForceDirectories(trash + "\\files"));
    ASSERT_TRUE(platform::ForceDirectories(trash + "\\info"));
    TempDir dir;
    const AnsiString id = test::RunId();
    const AnsiString plain = "plain " + id + ".txt", japanese = S(u8"表示ソ ") + id + ".dat", folder = "folder " + id;
    test::WriteFile(dir / plain, "one");
    test::WriteFile(dir / japanese, "two");
    platform::ForceDirectories(dir / folder + "\\inner");
    test::WriteFile(dir / folder + "\\inner\\deep.txt", "three");
    test::WriteFile(dir / "save.dat", "save");
    platform::FileOperationResult r = Delete({ dir / plain, dir / japanese, dir / folder }, 0x00D4);
    EXPECT_EQ(r.AnyOperationsAborted, 0);
    EXPECT_TRUE(r.Failures.empty());
    for (const AnsiString& name : { plain, japanese, folder }) {
        EXPECT_FALSE(platform::FileExists(dir / name) || platform::DirectoryExists(dir / name)) << platform::DisplayPath(name);
        EXPECT_TRUE(platform::FileExists(trash + "\\info\\" + name + ".trashinfo")) << platform::DisplayPath(name);
    }
    EXPECT_EQ(test::ReadFile(trash + "\\files\\" + plain), "one");
    EXPECT_EQ(test::ReadFile(trash + "\\files\\" + japanese), "two");
    EXPECT_EQ(test::ReadFile(trash + "\\files\\" + folder + "\\inner\\deep.txt"), "three");
    EXPECT_EQ(test::ReadFile(dir / "save.dat"), "save");
    for (const AnsiString& name : { plain, japanese, folder }) {
        test::RemoveTree(trash + "\\files\\" + name);
        platform::RemoveFile(trash + "\\files\\" + name);
        platform::RemoveFile(trash + "\\info\\" + name + ".trashinfo");
    }
}

// Without its error boxes the shell only says that something failed: the
// names still there are reported, each with its reason.
TEST(ShellFileOperation, WithoutTheShellsErrorBoxesWhatStaysIsReported)
{
    TempDir dir;
    test::WriteFile(dir / "held.txt", "held");
    test::WriteFile(dir / "free.txt", "free");
    // Open without sharing: the shell cannot delete it now.
    std::u16string heldPath = AnsiToUtf16(dir / "held.txt");
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(heldPath.c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    platform::FileOperationResult r =
        Delete({ dir / "held.txt", dir / "free.txt" }, platform::kFofSilent | platform::kFofNoConfirmation | platform::kFofNoErrorUi);
    CloseHandle(h);
    ASSERT_FALSE(r.Failures.empty());
    EXPECT_EQ(r.Failures[0].first, dir / "held.txt");
    EXPECT_FALSE(r.Failures[0].second.empty());
    EXPECT_TRUE(platform::FileExists(dir / "held.txt"));
    // A shell that stops at the first failure leaves the rest: reported too.
    bool freeReported = r.Failures.size() == 2 && r.Failures[1].first == dir / "free.txt";
    EXPECT_NE(platform::FileExists(dir / "free.txt"), !freeReported);
    EXPECT_LE(r.Failures.size(), 2u);
}

// The shell takes no path of MAX_PATH characters or more: such a name is
// not handed to it (where it would be cut short or fail unexplained) but
// reported by name, and the others are carried out.
TEST(ShellFileOperation, ANameTooLongForTheShellIsReportedAndKept)
{
    TempDir dir;
    AnsiString deep = dir.Path();
    while (deep.size() < 300)
        deep += AnsiString(60, 'd') + "\\";
    ASSERT_TRUE(platform::ForceDirectories(deep));
    test::WriteFile(deep + "long.txt", "long");
    test::WriteFile(dir / "short.txt", "short");
    platform::FileOperationResult r = Delete({ deep + "long.txt", dir / "short.txt" }, kWizardFlags | platform::kFofNoErrorUi);
    ASSERT_EQ(r.Failures.size(), 1u);
    EXPECT_EQ(r.Failures[0].first, deep + "long.txt");
    EXPECT_FALSE(r.Failures[0].second.empty());
    EXPECT_EQ(test::ReadFile(deep + "long.txt"), "long");
    EXPECT_FALSE(platform::FileExists(dir / "short.txt"));
}

#endif

} // namespace
