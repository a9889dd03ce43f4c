#include <string>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

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

TEST(DeleteAtReboot, RegisteredWithoutError)
{
    // The deletion itself happens at the next start (Windows) or when the
    // process ends (POSIX): see the child below.
    TempDir dir;
    test::WriteFile(dir / "victim", "x");
    platform::RunProcess(test::SelfPath(), test::ChildArgs("delete_at_exit", { platform::DisplayPath(dir / "victim") }));
#ifdef _WIN32
    EXPECT_TRUE(platform::FileExists(dir / "victim"));
#else
    EXPECT_FALSE(platform::FileExists(dir / "victim"));
#endif
}

TARN_CHILD(delete_at_exit)
{
    platform::ScheduleDeleteAtReboot(platform::PathFromHost(args[0]));
    return platform::FileExists(platform::PathFromHost(args[0])) ? 0 : 1;
}

} // namespace

namespace {

#ifndef _WIN32
TARN_CHILD(write_args)
{
    std::string joined;
    for (size_t i = 1; i < args.size(); ++i)
        joined += (i > 1 ? "|" : "") + args[i];
    WriteFileAtomically(platform::PathFromHost(args[0]), joined);
    return 0;
}

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
