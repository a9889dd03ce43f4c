#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

#ifndef _WIN32
TEST(DriveMap, HomeIsCAndRootIsZ)
{
    std::string home = platform::GetEnv("HOME");
    EXPECT_EQ(platform::PathFromHost(home + "/Games/x"), "C:\\Games\\x");
    EXPECT_EQ(platform::PathFromHost(home), "C:\\");
    EXPECT_EQ(platform::PathFromHost("/"), "Z:\\");
    EXPECT_EQ(platform::PathFromHost("/usr/share/"), "Z:\\usr\\share\\");
    EXPECT_EQ(platform::PathFromHost("rel/dir/f.txt"), "rel\\dir\\f.txt");
    std::string host;
    ASSERT_TRUE(platform::HostPath("C:\\Games\\x", host));
    EXPECT_EQ(host, home + "/Games/x");
    ASSERT_TRUE(platform::HostPath("c:\\", host));
    EXPECT_EQ(host, home + "/");
    ASSERT_TRUE(platform::HostPath("Z:\\usr\\" + S(u8"ソ") + "\\x", host));
    EXPECT_EQ(host, "/usr/ソ/x");
    ASSERT_TRUE(platform::HostPath("D:\\x", host) == false);
    // A backslash inside a host name stays a character of that name.
    AnsiString odd = platform::PathFromHost("/tmp/a\\b");
    EXPECT_EQ(ExtractFileName(odd), HostUtf8ToAnsi("a\\b", true));
    ASSERT_TRUE(platform::HostPath(odd, host));
    EXPECT_EQ(host, "/tmp/a\\b");
}
#endif

TEST(Process, ArgumentsInputOutputAndExitCode)
{
    platform::ProcessResult r =
        platform::RunProcess(test::SelfPath(), test::ChildArgs("echo", { "arg with blanks", "\"quoted\"", "ソ\\" }), "from stdin");
    EXPECT_EQ(r.ExitCode, 7);
    EXPECT_EQ(r.Out, "from stdin");
    EXPECT_EQ(r.Err, "arg with blanks|\"quoted\"|ソ\\");
    EXPECT_EQ(platform::RunProcess("C:\\no\\such\\program", {}).ExitCode, -1);
}

#ifdef _WIN32
// The files that carry a program's standard streams go with it, also when
// it could not be started at all.
TEST(Process, NoStreamFileIsLeftBehind)
{
    const AnsiString mine = "tarn-proc-" + std::to_string(GetCurrentProcessId()) + "-";
    auto count = [&] {
        int n = 0;
        for (const platform::DirEntry& e : SortedDirectory(platform::TempDirectory()))
            n += e.Name.compare(0, mine.size(), mine) == 0;
        return n;
    };
    int before = count();
    EXPECT_EQ(platform::RunProcess("C:\\no\\such\\program.exe", {}, "input").ExitCode, -1);
    EXPECT_EQ(platform::RunProcess(test::SelfPath(), test::ChildArgs("echo"), "input").ExitCode, 7);
    EXPECT_EQ(count(), before);
}
#endif

TARN_CHILD(echo)
{
    std::string in;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0)
        in.append(buf, n);
    platform::WriteStdout(in);
    std::string joined;
    for (size_t i = 0; i < args.size(); ++i)
        joined += (i ? "|" : "") + args[i];
    platform::WriteStderr(joined);
    return 7;
}

// ---- single-instance guard ----

const char* kTitle = "Game \\ タイトル"; // a backslash must work on Windows too

TARN_CHILD(hold_mutex)
{
    auto m = platform::NamedMutex::Acquire(Utf8ToCp932(args[0]));
    // Written whole under its name, so that the parent never reads it half done.
    WriteFileAtomically(platform::PathFromHost(args[1]), m ? "held" : "refused");
    test::WaitFor([&] { return platform::FileExists(platform::PathFromHost(args[2])); }, 60000);
    return m ? 0 : 1;
}

TEST(NamedMutex, SecondProcessIsRefusedUntilTheFirstEnds)
{
    TempDir dir;
    std::string marker = platform::DisplayPath(dir / "marker"), release = platform::DisplayPath(dir / "release");
    auto child = platform::Process::Start(test::SelfPath(), test::ChildArgs("hold_mutex", { kTitle, marker, release }));
    ASSERT_TRUE(child);
    ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(dir / "marker"); }));
    EXPECT_EQ(test::ReadFile(dir / "marker"), "held");
    EXPECT_FALSE(platform::NamedMutex::Acquire(Utf8ToCp932(kTitle)));
    EXPECT_TRUE(platform::NamedMutex::Acquire(Utf8ToCp932("another title")));
    test::WriteFile(dir / "release", "");
    EXPECT_EQ(child->Wait(), 0);
    auto mine = platform::NamedMutex::Acquire(Utf8ToCp932(kTitle));
    EXPECT_TRUE(mine);
    // Held in this process now: a second acquisition is refused as well.
    EXPECT_FALSE(platform::NamedMutex::Acquire(Utf8ToCp932(kTitle)));
    mine.reset();
    EXPECT_TRUE(platform::NamedMutex::Acquire(Utf8ToCp932(kTitle)));
}

TEST(NamedMutex, AnyTitleWorks)
{
    AnsiString longTitle(600, 'x');
    AnsiString odd = "a/b\\c:*?\"<>|" + S(u8"表ソ");
    for (const AnsiString& title : { longTitle, odd, AnsiString("\x01\x7f") }) {
        auto m = platform::NamedMutex::Acquire(title);
        EXPECT_TRUE(m) << test::ToHex(title.substr(0, 16));
        EXPECT_FALSE(platform::NamedMutex::Acquire(title));
    }
}

#ifndef _WIN32

// Without a runtime folder, the lock goes into a folder of the user's cache
// that only the user may write to (never a shared /tmp name that another
// user could take first), and it still keeps a second process out.
TEST(NamedMutex, WithoutARuntimeFolderTheLockLivesInTheUsersCache)
{
    TempDir dir;
    std::string cache = platform::DisplayPath(dir / "cache"); // made on demand
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    test::ScopedEnv cacheHome("XDG_CACHE_HOME", cache.c_str());
    auto mine = platform::NamedMutex::Acquire(Utf8ToCp932(kTitle));
    ASSERT_TRUE(mine);
    std::string folder = cache + "/tarn-setup";
    struct stat st;
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    StringList locks = test::TreeOf(platform::PathFromHost(folder));
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0].rfind("tarn-setup-", 0), 0u);

    std::string marker = platform::DisplayPath(dir / "marker"), release = platform::DisplayPath(dir / "release");
    auto child = platform::Process::Start(test::SelfPath(), test::ChildArgs("hold_mutex", { kTitle, marker, release }));
    ASSERT_TRUE(child);
    ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(dir / "marker"); }));
    EXPECT_EQ(test::ReadFile(dir / "marker"), "refused");
    test::WriteFile(dir / "release", "");
    EXPECT_EQ(child->Wait(), 1);
    mine.reset();

    // Without XDG_CACHE_HOME, the cache is ~/.cache; a folder there that
    // others could write to is made the user's alone first.
    test::ScopedEnv noCacheHome("XDG_CACHE_HOME", nullptr);
    std::string home = platform::GetEnv("HOME");
    ASSERT_TRUE(::mkdir((home + "/.cache").c_str(), 0700) == 0 || errno == EEXIST);
    ::mkdir((home + "/.cache/tarn-setup").c_str(), 0700);
    ASSERT_EQ(::chmod((home + "/.cache/tarn-setup").c_str(), 0777), 0);
    mine = platform::NamedMutex::Acquire(Utf8ToCp932(kTitle));
    ASSERT_TRUE(mine);
    ASSERT_EQ(::lstat((home + "/.cache/tarn-setup").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(test::TreeOf(platform::PathFromHost(home + "/.cache/tarn-setup")), locks);
    EXPECT_FALSE(platform::NamedMutex::Acquire(Utf8ToCp932(kTitle)));
}
#endif

#ifdef _WIN32
std::wstring W(const AnsiString& text)
{
    std::u16string w = AnsiToUtf16(text);
    return std::wstring(w.begin(), w.end());
}

// The deletions waiting for the next start, as the system keeps them: the
// \??\ path of each file followed by its target, empty for a deletion.
std::wstring PendingRenames()
{
    HKEY key;
    const wchar_t* sessionManager = L"System\\CurrentControlSet\\Control\\Session Manager";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, sessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::wstring();
    DWORD type = 0, size = 0;
    std::wstring value;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        value.resize(size / sizeof(wchar_t) + 1);
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
        value.resize(size / sizeof(wchar_t));
    }
    RegCloseKey(key);
    return value;
}

bool PendingDeletion(const std::wstring& pending, const AnsiString& path)
{
    std::wstring entry = L"\\??\\" + W(path) + L'\0' + L'\0';
    for (size_t at = pending.find(entry); at != std::wstring::npos; at = pending.find(entry, at + 1))
        if (at == 0 || pending[at - 1] == L'\0')
            return true;
    return false;
}
#endif

// Scheduled by a process of its own: Windows records it for the next start
// of the system (under Wine, the next boot of the prefix, which wineboot
// carries out), POSIX removes it when that process ends.
TEST(DeleteAtReboot, TheFileGoesAtTheNextStart)
{
    TempDir dir;
    AnsiString victim = dir / S(u8"消える ソ表.tmp");
    test::WriteFile(victim, "x");
    platform::ProcessResult r =
        platform::RunProcess(test::SelfPath(), test::ChildArgs("delete_at_exit", { platform::DisplayPath(victim) }));
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
#ifdef _WIN32
    EXPECT_TRUE(platform::FileExists(victim));
    ASSERT_TRUE(PendingDeletion(PendingRenames(), victim)) << "not recorded for the next start";
    // A restart of the prefix: wineboot runs the pending operations as it
    // does at every first start of the wineserver, without stopping the
    // programs that run now (other tests in the same prefix).
    wchar_t system[MAX_PATH];
    UINT n = GetSystemDirectoryW(system, MAX_PATH);
    AnsiString wineboot = Utf16ToAnsi(std::u16string(system, system + n)) + "\\wineboot.exe";
    if (!platform::FileExists(wineboot)) {
        if (test::UnderCI())
            FAIL() << "wineboot not found: not running under Wine";
        GTEST_SKIP() << "the next start of the system cannot be had outside Wine";
    }
    EXPECT_EQ(platform::RunProcess(wineboot, { "--restart" }).ExitCode, 0);
    EXPECT_FALSE(platform::FileExists(victim));
    EXPECT_FALSE(PendingDeletion(PendingRenames(), victim));
#else
    EXPECT_FALSE(platform::FileExists(victim));
#endif
}

TARN_CHILD(delete_at_exit)
{
    platform::ScheduleDeleteAtReboot(platform::PathFromHost(args[0]));
    return platform::FileExists(platform::PathFromHost(args[0])) ? 0 : 1;
}

// ---- the system's folders and drives ----

TEST(WindowsDirectory, IsTheSystemsOwnAndProtected)
{
    AnsiString windows = platform::WindowsDirectory();
#ifdef _WIN32
    EXPECT_TRUE(SameText(windows, HostUtf8ToAnsi(platform::GetEnv("SystemRoot")))) << platform::DisplayPath(windows);
    EXPECT_TRUE(platform::DirectoryExists(windows + "\\system32"));
    EXPECT_NE(windows.back(), '\\');
#else
    EXPECT_EQ(windows, "C:\\");
#endif
    StringList protectedDirs = platform::ProtectedDirectories();
    EXPECT_NE(std::find(protectedDirs.begin(), protectedDirs.end(), windows), protectedDirs.end());
}

TEST(DiskFreeBytes, TheVolumeOfTheNearestDirectoryThatExists)
{
    TempDir dir;
    int64_t here = platform::DiskFreeBytes(dir.Path());
    EXPECT_GT(here, 0);
    // A destination is asked about before it is made.
    int64_t below = platform::DiskFreeBytes(dir / "not\\made\\yet");
    EXPECT_GT(below, 0);
    EXPECT_LT(std::abs(static_cast<double>(below - here)), static_cast<double>(here) * 0.1 + (64 << 20));
    EXPECT_GT(platform::DiskFreeBytes(std::string(1, dir.Path()[0]) + ":\\"), 0);
    // A drive that is not there has no free space to tell.
    std::string letters = platform::DriveLetters();
    char absent = 0;
    for (char c = 'Y'; c > 'C' && !absent; --c)
        if (letters.find(c) == std::string::npos)
            absent = c;
    ASSERT_NE(absent, 0) << letters;
    EXPECT_EQ(platform::DiskFreeBytes(std::string(1, absent) + ":\\Games"), -1);
}

TEST(ShortPath, NamesTheSameFileWithoutBlanksWhereTheSystemHasShortNames)
{
    TempDir dir;
    AnsiString file = dir / S(u8"a long name with blanks ソフト.txt");
    test::WriteFile(file, "x");
    AnsiString shortForm = platform::ShortPath(file);
    EXPECT_TRUE(platform::FileExists(shortForm)) << platform::DisplayPath(shortForm);
#ifdef _WIN32
    EXPECT_EQ(ExtractFileName(shortForm).find(' '), AnsiString::npos) << platform::DisplayPath(shortForm);
    EXPECT_LE(ExtractFileName(shortForm).size(), 12u);
#else
    EXPECT_EQ(shortForm, file);
#endif
    // Where there is nothing to shorten, the path itself.
    EXPECT_EQ(platform::ShortPath(dir / "missing file.txt"), dir / "missing file.txt");
}

} // namespace

namespace {

TARN_CHILD(write_args)
{
    std::string joined;
    for (size_t i = 1; i < args.size(); ++i)
        joined += (i > 1 ? "|" : "") + args[i];
    WriteFileAtomically(platform::PathFromHost(args[0]), joined);
    return 0;
}

#ifdef _WIN32
// The program starts with its parameters as the Windows command line splits
// them, from a quoted file name (as start-up passes the game), whatever the
// code page.
TEST(ShellOpen, AProgramRunsWithItsParameters)
{
    TempDir dir;
    AnsiString out = dir / S(u8"引数 ソ表.txt");
    AnsiString file = "\"" + test::SelfPath() + "\"";
    AnsiString params = "--child=write_args \"" + out + "\" \"two words\" " + S(u8"日本語 ソ表") + " plain";
    ASSERT_TRUE(platform::ShellOpen(file, params));
    ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(out); }));
    EXPECT_EQ(test::ReadFile(out), "two words|日本語|ソ表|plain");
    EXPECT_FALSE(platform::ShellOpen("\"C:\\no\\such\\program.exe\"", ""));
}
#else

TEST(ShellOpen, AProgramRunsWithItsParametersSplitByTheCommandLineRule)
{
    TempDir dir;
    std::string out = platform::DisplayPath(dir / "args.txt");
    // The file comes quoted, as start-up passes the game; the parameters are one
    // string split as the program's own command line is: quotes group, a
    // backslash is an ordinary character.
    AnsiString file = "\"" + test::SelfPath() + "\"";
    AnsiString params = "--child=write_args " + out + " \"C:\\Program Files\\Game\\\" plain";
    ASSERT_TRUE(platform::ShellOpen(file, params));
    ASSERT_TRUE(test::WaitFor([&] { return platform::FileExists(dir / "args.txt"); }));
    EXPECT_EQ(test::ReadFile(dir / "args.txt"), "C:\\Program Files\\Game\\|plain");
    EXPECT_FALSE(platform::ShellOpen("\"C:\\no\\such\\program\"", ""));
}
#endif

} // namespace
