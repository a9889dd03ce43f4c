// The installer in the console as a person or a script meets it: input that
// ends anywhere ends the run, and the launcher hands its terminal over to
// the temporary copy that installs.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#endif

#include "../wizard/wizard_fixture.h"
#include "base/codepage.h"
#include "base/path.h"

#ifndef _WIN32
extern char** environ;
#endif

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

DiscContent Disc(const char* program, const char* entry)
{
    DiscContent d;
    d.Files = { { program, "MZ program" }, { "install.exe", "MZ installer" }, { "readme.txt", "read me" } };
    d.Entries = { { entry, "data" } };
    return d;
}

TEST(ConsoleRuns, InputThatEndsAtAnyQuestionEndsTheRun)
{
    // Disc 2 is nowhere: the prompt for it is the question the input ends at.
    DiscSet set(S(u8"途中で終わる入力"), { Disc("game.exe", "one.txt"), Disc("extra.exe", "two.txt") });
    set.DefaultDir = "<ProgramFiles>\\Tests\\Game" + test::RunId();
    set.Write(0, 0);
    test::RemoveTree(set.Disc(1));
    // Next on every page, then nothing more.
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", Host(set.Disc(0)) }, "\n\n\n\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("ディスク2を入れてからOKをクリックしてください"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("(end of input) 中止(A)"), std::string::npos) << r.Out;
    // The abort is confirmed, once: no question comes back.
    EXPECT_NE(r.Out.find("(end of input) はい(Y)"), std::string::npos) << r.Out;
    size_t prompts = 0;
    for (size_t at = r.Out.find("ディスク2を入れて"); at != std::string::npos; at = r.Out.find("ディスク2を入れて", at + 1))
        ++prompts;
    EXPECT_EQ(prompts, 1u) << r.Out;
    // Nothing of the installation is left.
    AnsiString dest = ExcludeTrailingBackslash(GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER)) + "\\Tests\\Game" + test::RunId();
    EXPECT_FALSE(platform::DirectoryExists(dest));
    EXPECT_EQ(set.Description(0).ReadRegString("InstallPath", "none"), "none");
}

#ifndef _WIN32

// Without a window system that answers (a display named but not there), the
// windows are the console's, with a line that says why; never an abort.
TEST(ConsoleRuns, ADisplayThatDoesNotAnswerGivesTheConsole)
{
#ifndef TARN_PROGRAM_HAS_QT
    GTEST_SKIP() << "this build of the program has no Qt windows to fall back from";
#endif
    DiscSet set(S(u8"表示のない画面") + test::RunId(), { Disc("game.exe", "one.txt") });
    struct Env {
        std::string qpa = platform::GetEnv("QT_QPA_PLATFORM"), display = platform::GetEnv("DISPLAY"),
                    wayland = platform::GetEnv("WAYLAND_DISPLAY");
        ~Env()
        {
            for (auto [name, value] : { std::pair{ "QT_QPA_PLATFORM", qpa }, { "DISPLAY", display }, { "WAYLAND_DISPLAY", wayland } })
                value.empty() ? ::unsetenv(name) : ::setenv(name, value.c_str(), 1);
        }
    } restore;
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("DISPLAY", ":9873", 1);
    for (std::vector<std::string> args : { std::vector<std::string>{}, std::vector<std::string>{ "--ui=qt" } }) {
        args.push_back("--source");
        args.push_back(Host(set.Disc(0)));
        auto r = platform::RunProcess(test::SetupProgramPath(), args, "");
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_NE(r.Err.find("the display :9873 does not answer; the console is used instead"), std::string::npos) << r.Err;
        EXPECT_NE(r.Out.find("インストール"), std::string::npos) << r.Out; // the launcher, on the console
    }
}

// A display that answers but lets nobody in without its key: Qt gives up
// only once it has tried, and the program starts again on the console.
TEST(ConsoleRuns, WindowsThatFailToOpenGiveTheConsoleAfterAll)
{
#ifndef TARN_PROGRAM_HAS_QT
    GTEST_SKIP() << "this build of the program has no Qt windows to fall back from";
#endif
    TARN_REQUIRE_TOOL("Xvfb");
    TARN_REQUIRE_TOOL("xauth");
    DiscSet set(S(u8"鍵のかかった画面") + test::RunId(), { Disc("game.exe", "one.txt") });
    TempDir dir;
    const std::string keys = Host(dir / "keys");
    // A display number of its own: the first whose socket is free.
    int n = 150 + static_cast<int>(::getpid() % 300);
    while (::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0 || ::access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0)
        ++n;
    const std::string display = ":" + std::to_string(n);
    ASSERT_EQ(platform::RunProcess(Host(test::ToolPath("xauth")), { "-f", keys, "add", display, ".", "0123456789abcdef0123456789abcdef" }).ExitCode, 0);
    std::string xvfb = Host(test::ToolPath("Xvfb"));
    std::vector<std::string> words = { xvfb, display, "-auth", keys, "-nolisten", "tcp" };
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t server = 0;
    ASSERT_EQ(::posix_spawn(&server, xvfb.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    struct Stop {
        pid_t pid;
        ~Stop()
        {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } stop{ server };
    ASSERT_TRUE(test::WaitFor([&] { return ::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0; }, 10000));
    auto r = platform::RunProcess("/usr/bin/env", { "-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", "DISPLAY=" + display, "XAUTHORITY=" + Host(dir / "none"),
                                                    Host(test::SetupProgramPath()), "--source", Host(set.Disc(0)) });
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("tarn-setup: the windows could not be opened; the console is used instead"), std::string::npos) << r.Err;
    EXPECT_NE(r.Out.find("インストール"), std::string::npos) << r.Out;
}

// A second start while the first runs asks the first to show its windows,
// then ends as before.
TEST(ConsoleRuns, ASecondStartAsksTheFirstToComeToTheFront)
{
    DiscSet set(S(u8"二度目の起動") + test::RunId(), { Disc("game.exe", "one.txt") });
    std::unique_ptr<platform::NamedMutex> first = platform::NamedMutex::Acquire(set.Title());
    ASSERT_TRUE(first);
    std::atomic<int> asked{ 0 };
    first->ListenForShowRequests([&] { ++asked; });
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", "--source", Host(set.Disc(0)) }, "");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out.find("インストール"), std::string::npos) << r.Out; // no launcher of its own
    EXPECT_TRUE(test::WaitFor([&] { return asked == 1; }, 5000));
    // With the first gone, nobody answers and nothing is left behind.
    first.reset();
    EXPECT_FALSE(platform::NamedMutex::AskHolderToShow(set.Title(), set.Title()));
}

// A terminal of the test's own around a program: its output is read from
// the terminal, and lines are typed into it once the output shows what they
// are for, as a person would.
class PseudoTerminal {
public:
    PseudoTerminal(const std::string& program, const std::vector<std::string>& args)
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        std::string slave = ::ptsname(master_);
        test::Argv argv(program, args);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            int fd = ::open(slave.c_str(), O_RDWR);
            if (fd < 0 || ::ioctl(fd, TIOCSCTTY, 0) != 0)
                ::_exit(126);
            ::dup2(fd, 0), ::dup2(fd, 1), ::dup2(fd, 2);
            ::execv(program.c_str(), argv.Get());
            ::_exit(127);
        }
    }
    ~PseudoTerminal()
    {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            ::close(master_);
    }
    bool Started() const { return pid_ > 0; }

    // Reads until text has appeared after what was read before (or the time is up).
    bool WaitFor(const std::string& text, int timeoutMs = 20000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Output.find(text, seen_) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            struct pollfd p = { master_, POLLIN, 0 };
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
                return false;
            char buf[4096];
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                return false; // the program has gone, and its terminal with it
            Output.append(buf, static_cast<size_t>(n));
        }
        seen_ = Output.find(text, seen_) + text.size();
        return true;
    }
    void Type(const std::string& line) { (void)!::write(master_, (line + "\n").data(), line.size() + 1); }
    bool Running() { return !exited_ && ::waitpid(pid_, &status_, WNOHANG) == 0; }
    // The exit status once the program has ended (-1 after 20 s).
    int Wait()
    {
        for (int i = 0; i < 200 && !exited_; ++i) {
            if (::waitpid(pid_, &status_, WNOHANG) == pid_)
                exited_ = true;
            else
                ::usleep(100000);
        }
        return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

    std::string Output;

private:
    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
    size_t seen_ = 0;
};

TEST(ConsoleRuns, TheLauncherHandsItsTerminalToTheCopyThatInstalls)
{
    DiscSet set(S(u8"端末の引き渡し"), { Disc("game.exe", "one.txt") });
    set.DefaultDir = "<ProgramFiles>\\Tests\\Handed" + test::RunId();
    set.Write(0, 0);
    platform::RemoveFile(AddBackslash(platform::TempDirectory()) + "$$tinstall.exe");
    PseudoTerminal terminal(Host(test::SetupProgramPath()), { "--ui=console", "--source", Host(set.Disc(0)) });
    ASSERT_TRUE(terminal.Started());
    ASSERT_TRUE(terminal.WaitFor("インストール\r\n")) << terminal.Output;
    terminal.Type("インストール"); // the launcher makes its temporary copy
    // The copy shows the wizard in the same terminal, in the same process:
    // the shell would not have its prompt back.
    ASSERT_TRUE(terminal.WaitFor("インストールするファイル\r\n")) << terminal.Output;
    EXPECT_TRUE(terminal.Running());
    // It reads what is typed now: 中断, then はい to the question.
    ASSERT_TRUE(terminal.WaitFor("中断(A)")) << terminal.Output;
    terminal.Type("btnAbort");
    ASSERT_TRUE(terminal.WaitFor("インストールを中断しますか？")) << terminal.Output;
    terminal.Type("はい(Y)");
    EXPECT_EQ(terminal.Wait(), 0) << terminal.Output;
    EXPECT_EQ(terminal.Output.find("?\r\n"), std::string::npos) << terminal.Output; // every line was taken
}

TEST(ConsoleRuns, ADiscThatAppearsWhileThePromptIsOpenIsTakenWithoutALine)
{
    DiscSet set(S(u8"現れるディスク"), { Disc("game.exe", "one.txt"), Disc("extra.exe", "two.txt") });
    set.DefaultDir = "<ProgramFiles>\\Tests\\Appears" + test::RunId();
    set.Write(0, 0);
    set.Write(1, 1);
    // Disc 2 lies elsewhere, whole, until it is moved into place.
    TempDir away;
    ASSERT_TRUE(platform::RenameFile(ExcludeTrailingBackslash(set.Disc(1)), away / "disc2"));
    PseudoTerminal terminal(Host(test::SetupProgramPath()), { "--ui=console", Host(set.Disc(0)) });
    ASSERT_TRUE(terminal.Started());
    // Next on the pages until the copy asks for disc 2.
    bool asked = false;
    for (int i = 0; i < 8 && !asked; ++i) {
        terminal.Type("");
        asked = terminal.WaitFor("ディスク2を入れてからOKをクリックしてください", 3000);
    }
    ASSERT_TRUE(asked) << terminal.Output;
    platform::SleepMs(2000);
    ASSERT_TRUE(platform::RenameFile(away / "disc2", ExcludeTrailingBackslash(set.Disc(1))));
    // Nothing typed: the box closes by itself and the copy goes on.
    ASSERT_TRUE(terminal.WaitFor("閉じる(C)")) << terminal.Output;
    EXPECT_NE(terminal.Output.find("インストールが完了しました"), std::string::npos) << terminal.Output;
    terminal.Type("閉じる(C)");
    EXPECT_EQ(terminal.Wait(), 0) << terminal.Output;
    AnsiString dest = ExcludeTrailingBackslash(GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER)) + "\\Tests\\Appears" + test::RunId();
    EXPECT_TRUE(platform::FileExists(dest + "\\extra.exe"));
    auto removed = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", "--uninstall", "--delete-save", Host(dest) });
    EXPECT_EQ(removed.ExitCode, 0) << removed.Err;
}

TEST(ConsoleRuns, APathTypedAtThePromptAnswersIt)
{
    DiscSet set(S(u8"場所を打つ"), { Disc("game.exe", "one.txt"), Disc("extra.exe", "two.txt") });
    set.DefaultDir = "<ProgramFiles>\\Tests\\Typed" + test::RunId();
    set.Write(0, 0);
    set.Write(1, 1);
    TempDir away, empty;
    ASSERT_TRUE(platform::RenameFile(ExcludeTrailingBackslash(set.Disc(1)), away / "second"));
    // Next on every page, then at the prompt a folder without a disc, then
    // the disc's folder.
    std::string input = "\n\n\n\n\n" + Host(ExcludeTrailingBackslash(empty.Path())) + "\n" + Host(away / "second") + "\n";
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", Host(set.Disc(0)) }, input);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("ディスク2を入れてからOKをクリックしてください\n" + Host(ExcludeTrailingBackslash(empty.Path())) +
                         " には install.dat がありません"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("インストールが完了しました"), std::string::npos) << r.Out;
    AnsiString dest = ExcludeTrailingBackslash(GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER)) + "\\Tests\\Typed" + test::RunId();
    EXPECT_TRUE(platform::FileExists(dest + "\\extra.exe"));
    auto removed = platform::RunProcess(test::SetupProgramPath(), { "--very-silent", "--uninstall", "--delete-save", Host(dest) });
    EXPECT_EQ(removed.ExitCode, 0) << removed.Err;
}

TEST(ConsoleRuns, LinesReadAheadBeforeTheHandOverReachTheCopy)
{
    // A script that types everything at once: the launcher reads more than
    // its own line, and the copy gets the rest.
    DiscSet set(S(u8"先読みの引き渡し"), { Disc("game.exe", "one.txt") });
    set.DefaultDir = "<ProgramFiles>\\Tests\\Ahead" + test::RunId();
    set.Write(0, 0);
    auto r = platform::RunProcess(test::SetupProgramPath(), { "--ui=console", "--source", Host(set.Disc(0)) }, "btnInstall\n中断(A)\nYes\n");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("インストールするファイル\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("インストールを中断しますか？"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("(end of input)"), std::string::npos) << r.Out;
}

#endif

} // namespace
