// Runs killed at any moment (kill -9: a crash, a closed terminal, power
// gone): no claim without its registry value, and the next run finishes the
// work to the tree an uninterrupted run leaves, with no temporary file of
// the killed run left anywhere.
//
// POSIX only (the kill), and not in the sanitizer build, whose runs take
// too long for twenty points in a test.
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "../wizard/wizard_fixture.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/sha256.h"
#include "wizard/manifest.h"

extern char** environ;

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::TempDir;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::string Host(const AnsiString& path) { return platform::DisplayPath(path); }

// Bytes that do not repeat from file to file.
std::string Bytes(size_t size, uint32_t seed)
{
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

// Two discs that take an install one to two seconds on the machines the
// tests run on (6,000 files, 200 MB): many files of the program, sound on
// both discs, and an archive on each to merge.
DiscContent Disc(int disc, int files, int entries)
{
    DiscContent d;
    if (disc == 0) {
        d.Files["game.exe"] = "MZ the game";
        d.Files["install.exe"] = "MZ the installer";
        d.Files["readme.txt"] = "read me";
    }
    for (int i = 0; i < files; ++i) {
        std::string name = (i % 3 == 0 ? "bgm\\track" : "data\\part") + std::to_string(disc) + "_" + std::to_string(i);
        d.Files[name + (i % 3 == 0 ? ".wav" : ".bin")] = Bytes(32 * 1024, static_cast<uint32_t>(disc * 10000 + i));
    }
    for (int i = 0; i < entries; ++i)
        d.Entries["scenario\\d" + std::to_string(disc) + "_" + std::to_string(i) + ".txt"] =
            Bytes(64 * 1024, static_cast<uint32_t>(disc * 20000 + i + 5000));
    return d;
}

// A run of the installer program that can be killed: no input, its output dropped.
class Child {
public:
    explicit Child(const std::vector<std::string>& args)
    {
        std::string program = Host(test::SetupProgramPath());
        test::Argv argv(program, args);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.Get(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            throw std::runtime_error("cannot start " + program);
    }
    // Kills the run after `after` unless it has ended by then; true when it
    // was killed. A run that ended by itself shortens `expected`, the time
    // runs are taken to need, to what it took: on a machine that became
    // less busy, the later points still fall inside the runs.
    bool KillAfter(std::chrono::microseconds after, std::chrono::microseconds& expected)
    {
        auto start = Clock::now(), end = start + after;
        while (Clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                expected = std::min(expected, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFSIGNALED(status);
    }
    int Wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

// Files a run writes under another name first and renames: the description
// and the record ($$name.tmp), the archive's work file ($$tinstwk...), menu
// files (.tarn.PID.tmp), the registry store (user.reg.PID.tmp).
bool IsTemporary(const std::string& name)
{
    return name.starts_with("$$") || name.starts_with(".tarn.") || (name.starts_with("user.reg.") && name.ends_with(".tmp"));
}

StringList TemporariesUnder(const std::string& dir)
{
    StringList found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename() == "Trash") {
            it.disable_recursion_pending();
            continue;
        }
        if (IsTemporary(it->path().filename().string()))
            found.push_back(it->path().string());
    }
    return found;
}

class Killed : public ::testing::Test {
protected:
    Killed() : set(S(u8"止められたゲーム"), { Disc(0, 4000, 400), Disc(1, 2000, 400) }) { }

    std::vector<std::string> InstallArgs(const AnsiString& dir) const
    {
        return { "--silent", Host(set.Disc(0)), "--dir", Host(dir), "--components", "all" };
    }
    AnsiString Recorded() const { return set.Description(0).ReadRegString("InstallPath", "none"); }

    // Every place a run writes: the destination, the user's data and
    // configuration (menus, registry store, records), outside the trash.
    StringList Temporaries(const AnsiString& dir) const
    {
        StringList all = TemporariesUnder(Host(dir));
        for (const char* variable : { "XDG_DATA_HOME", "XDG_CONFIG_HOME" }) {
            StringList more = TemporariesUnder(std::getenv(variable));
            all.insert(all.end(), more.begin(), more.end());
        }
        return all;
    }

    // The names of every file under dir, with the SHA-256 of its bytes.
    std::map<AnsiString, std::string> Contents(const AnsiString& dir) const
    {
        std::map<AnsiString, std::string> out;
        for (const AnsiString& name : test::TreeOf(dir)) {
            std::ifstream in(Host(AddBackslash(dir) + name), std::ios::binary | std::ios::ate);
            std::string bytes(static_cast<size_t>(in.tellg()), '\0');
            in.seekg(0);
            in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out[name] = platform::Sha256::Hex(platform::Sha256::Of(bytes));
        }
        return out;
    }

    // The time an uninterrupted run of args takes (the median of three).
    static std::chrono::microseconds Timed(const std::function<std::vector<std::string>()>& prepare)
    {
        std::vector<std::chrono::microseconds> runs;
        for (int i = 0; i < 3; ++i) {
            std::vector<std::string> args = prepare();
            auto start = Clock::now();
            EXPECT_EQ(Child(args).Wait(), 0);
            runs.push_back(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
        }
        std::sort(runs.begin(), runs.end());
        return runs[1];
    }

    DiscSet set;
    TempDir dest;
};

TEST_F(Killed, AnInstallKilledAnywhereIsFinishedByTheNextRun)
{
    int fresh = 0;
    auto next = [&] { return dest / ("run" + std::to_string(++fresh)); };
    AnsiString reference;
    std::chrono::microseconds took = Timed([&] {
        reference = next();
        return InstallArgs(reference);
    });
    const std::map<AnsiString, std::string> expected = Contents(reference);
    ASSERT_GT(expected.size(), 300u);
    std::cout << "uninterrupted install: " << took.count() / 1000 << " ms\n";

    int killed = 0;
    for (int point = 0; point < 20; ++point) {
        AnsiString dir = next();
        auto at = std::chrono::microseconds(static_cast<int64_t>(took.count() * (point + 0.5) / 20));
        killed += Child(InstallArgs(dir)).KillAfter(at, took) ? 1 : 0;
        SCOPED_TRACE("killed after " + std::to_string(at.count() / 1000) + " ms");
        // A claim is never without its registry value.
        try {
            TTarnInstallSet there;
            there.LoadFromFile(dir + "\\install.dat");
            if (there.Installed != 0) {
                EXPECT_EQ(Recorded(), AddBackslash(dir));
            }
        } catch (const Exception&) {
        }
        ASSERT_EQ(Child(InstallArgs(dir)).Wait(), 0);
        EXPECT_EQ(Recorded(), AddBackslash(dir));
        std::map<AnsiString, std::string> got = Contents(dir);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
        EXPECT_EQ(Temporaries(dir), StringList());
        std::error_code ec;
        fs::remove_all(Host(dir), ec);
    }
    // The points fell inside the runs, not after them.
    EXPECT_GE(killed, 15);
}

TEST_F(Killed, AnUninstallKilledAnywhereIsFinishedByTheNextRun)
{
    int fresh = 0;
    AnsiString dir;
    auto installed = [&] {
        dir = dest / ("run" + std::to_string(++fresh));
        EXPECT_EQ(Child(InstallArgs(dir)).Wait(), 0);
        test::WriteFile(dir + "\\save.dat", "progress");
        return std::vector<std::string>{ "--silent", "--uninstall", Host(dir), "--delete-save" };
    };
    std::chrono::microseconds took = Timed(installed);
    std::cout << "uninterrupted uninstall: " << took.count() / 1000 << " ms\n";

    int killed = 0;
    for (int point = 0; point < 10; ++point) {
        std::vector<std::string> args = installed();
        auto at = std::chrono::microseconds(static_cast<int64_t>(took.count() * (point + 0.5) / 10));
        killed += Child(args).KillAfter(at, took) ? 1 : 0;
        SCOPED_TRACE("killed after " + std::to_string(at.count() / 1000) + " ms");
        // A registry value that is still there leads to an installation the
        // next run can remove.
        int again = Child(args).Wait();
        EXPECT_TRUE(again == 0 || (again == 1 && !platform::DirectoryExists(dir))) << again;
        EXPECT_FALSE(platform::DirectoryExists(dir));
        EXPECT_EQ(Recorded(), "none");
        EXPECT_TRUE(test::GroupFiles(set.Title()).empty());
        EXPECT_FALSE(TInstallManifest::Load(dir));
        EXPECT_FALSE(platform::FileExists(TInstallManifest::FileFor(dir)));
        EXPECT_EQ(Temporaries(dir), StringList());
    }
    EXPECT_GE(killed, 7);
}

} // namespace

#endif
