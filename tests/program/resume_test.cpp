// An install killed at any moment and run again over the same folder with
// the same choices: the rerun ends with the tree an uninterrupted install
// leaves, keeps what the killed run had finished (read again, never taken on
// trust) and copies again what was changed in between.
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
#include "base/path.h"
#include "platform/file_hasher.h"
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

std::string Bytes(size_t size, uint32_t seed)
{
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 7;
    for (char& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

// Two discs of about 45 MB: a few hundred files (one large enough to be
// copied in pieces), an archive on each to merge.
DiscContent Disc(int disc)
{
    DiscContent d;
    if (disc == 0) {
        d.Files["game.exe"] = "MZ the game";
        d.Files["install.exe"] = "MZ the installer";
        d.Files["movie\\opening.mpg"] = Bytes(size_t(10) << 20, 77);
    }
    for (int i = 0; i < 150; ++i)
        d.Files[(i % 3 == 0 ? "bgm\\t" : "data\\p") + std::to_string(disc) + "_" + std::to_string(i) + (i % 3 == 0 ? ".wav" : ".bin")] =
            Bytes(64 * 1024 + static_cast<size_t>(i), static_cast<uint32_t>(disc * 1000 + i));
    for (int i = 0; i < 120; ++i)
        d.Entries["scenario\\d" + std::to_string(disc) + "_" + std::to_string(i) + ".txt"] =
            Bytes(64 * 1024 + static_cast<size_t>(i), static_cast<uint32_t>(disc * 5000 + i + 300));
    return d;
}

// A run of the installer whose log (standard error, --log -) is read line by
// line as it comes.
class Child {
public:
    explicit Child(const std::vector<std::string>& args)
    {
        std::string program = Host(test::SetupProgramPath());
        test::Argv argv(program, args);
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.Get(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        in_ = fds[0];
        if (rc != 0)
            throw std::runtime_error("cannot start " + program);
    }
    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(in_);
    }
    // The next line; false at the end.
    bool Next(std::string& line)
    {
        for (;;) {
            if (size_t end = buffer_.find('\n'); end != std::string::npos) {
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                lines_.push_back(line);
                return true;
            }
            char chunk[4096];
            ssize_t n = ::read(in_, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }
    // Kills the run after its n-th log line that starts with prefix; true
    // when it was killed before it ended.
    bool KillAfterLine(const std::string& prefix, int n)
    {
        std::string line;
        while (n > 0 && Next(line))
            if (line.find(prefix) != std::string::npos)
                --n;
        return Kill();
    }
    bool KillAfter(std::chrono::microseconds after)
    {
        // The log is read on, so that the run never waits for the pipe.
        std::thread reader([this] {
            std::string line;
            while (Next(line)) {
            }
        });
        auto end = Clock::now() + after;
        bool ended = false;
        while (!ended && Clock::now() < end) {
            int status = 0;
            ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
            if (ended)
                pid_ = -1;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        bool killed = !ended && Kill();
        reader.join();
        return killed;
    }
    int Wait()
    {
        std::string line;
        while (Next(line)) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::vector<std::string>& Lines() const { return lines_; }
    int Count(const std::string& prefix) const
    {
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) { return l.find(prefix) != std::string::npos; }));
    }

private:
    bool Kill()
    {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFSIGNALED(status);
    }

    pid_t pid_ = -1;
    int in_ = -1;
    std::string buffer_;
    std::vector<std::string> lines_;
};

// The bytes the rerun's summary says it found complete (0: no summary).
int64_t FoundBytes(const Child& run)
{
    for (const std::string& line : run.Lines())
        if (size_t at = line.find("found complete: "); at != std::string::npos) {
            size_t bytes = line.find(" bytes", at);
            size_t from = line.rfind(", ", bytes);
            return std::stoll(line.substr(from + 2, bytes - from - 2));
        }
    return 0;
}

class Resumed : public ::testing::Test {
protected:
    Resumed() : set(S(u8"再開するゲーム"), { Disc(0), Disc(1) }) { }

    std::vector<std::string> InstallArgs(const AnsiString& dir) const
    {
        return { "--silent", Host(set.Disc(0)), "--dir", Host(dir), "--components", "all", "--log", "-" };
    }

    std::map<AnsiString, std::string> Contents(const AnsiString& dir) const
    {
        std::map<AnsiString, std::string> out;
        for (const AnsiString& name : test::TreeOf(dir))
            out[name] = platform::Sha256::Hex(platform::Sha256::Of(test::ReadFile(AddBackslash(dir) + name)));
        return out;
    }

    // The rerun after a kill: the uninterrupted tree, and what the killed run
    // had finished kept.
    void Rerun(const AnsiString& dir, bool somethingFinished)
    {
        Child again(InstallArgs(dir));
        ASSERT_EQ(again.Wait(), 0);
        EXPECT_TRUE(Contents(dir) == expected);
        EXPECT_EQ(again.Count("copied ") + again.Count("found complete /") + again.Count("skipped "), fileCount);
        if (somethingFinished) {
            EXPECT_GT(FoundBytes(again), 0);
        }
        EXPECT_FALSE(platform::FileExists(TInstallManifest::JournalOf(TInstallManifest::FileFor(AddBackslash(dir)))));
        EXPECT_FALSE(platform::FileExists(dir + "\\$$tinstwk.dat"));
        std::error_code ec;
        fs::remove_all(Host(dir), ec);
    }

    // A file's record follows its hash, which may lag the copy by as many
    // files as the hasher holds (all of them when it gets little time, as
    // on a busy machine), and the file last logged as copied may not be
    // queued yet; the record saved after the first disc holds all of its
    // files.
    static bool SomethingRecorded(Child& killed)
    {
        return killed.Count("copied ") > static_cast<int>(platform::FileHasher::kFilesBehind) + 1 ||
               killed.Count("merged game.dat") > 0;
    }

    DiscSet set;
    TempDir dest;
    std::map<AnsiString, std::string> expected;
    int fileCount = 0;
};

TEST_F(Resumed, AnInstallKilledAtTwentyPointsFinishesDoingOnlyWhatIsLeft)
{
    AnsiString reference = dest / "reference";
    Child whole(InstallArgs(reference));
    auto start = Clock::now();
    ASSERT_EQ(whole.Wait(), 0);
    auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    expected = Contents(reference);
    // A second run with warm caches is often much quicker than the first;
    // the points in time are spread over the quicker one.
    {
        AnsiString second = dest / "second";
        Child again(InstallArgs(second));
        start = Clock::now();
        ASSERT_EQ(again.Wait(), 0);
        took = std::min(took, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
        EXPECT_TRUE(Contents(second) == expected);
    }
    fileCount = whole.Count("copied ");
    const int lines = static_cast<int>(whole.Lines().size());
    ASSERT_GT(fileCount, 300);
    EXPECT_EQ(FoundBytes(whole), 0);
    std::cout << "uninterrupted install: " << took.count() / 1000 << " ms (the quicker of two), " << lines << " log lines\n";

    // Exact points: after the k-th line of the log (copies, merges, the claim).
    int killed = 0;
    for (int point = 0; point < 10; ++point) {
        int n = std::max(1, static_cast<int>(lines * (point + 0.5) / 10) - 1);
        SCOPED_TRACE("killed after log line " + std::to_string(n));
        AnsiString dir = dest / ("line" + std::to_string(point));
        Child run(InstallArgs(dir));
        killed += run.KillAfterLine("", n) ? 1 : 0;
        Rerun(dir, SomethingRecorded(run));
    }
    EXPECT_GE(killed, 9);
    // Points in time spread over the run.
    for (int point = 0; point < 10; ++point) {
        auto at = std::chrono::microseconds(static_cast<int64_t>(took.count() * 0.85 * (point + 0.5) / 10));
        SCOPED_TRACE("killed after " + std::to_string(at.count() / 1000) + " ms");
        AnsiString dir = dest / ("time" + std::to_string(point));
        Child run(InstallArgs(dir));
        killed += run.KillAfter(at) ? 1 : 0;
        Rerun(dir, SomethingRecorded(run));
    }
    std::cout << "killed " << killed << " of 20 runs\n";
    EXPECT_GE(killed, 15);
}

TEST_F(Resumed, WhatChangedBetweenTheKillAndTheRerunIsCopiedAgain)
{
    AnsiString reference = dest / "reference";
    Child whole(InstallArgs(reference));
    ASSERT_EQ(whole.Wait(), 0);
    expected = Contents(reference);
    fileCount = whole.Count("copied ");

    // Killed on the second disc: the first disc's files and archive are done.
    AnsiString dir = dest / "killed";
    Child run(InstallArgs(dir));
    ASSERT_TRUE(run.KillAfterLine("copied " + Host(set.Disc(1)), 20));
    std::optional<TInstallManifest> record = TInstallManifest::Load(AddBackslash(dir));
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->Complete);
    ASSERT_GT(record->Files.size(), 100u);
    ASSERT_GT(record->ArchiveEntries.size(), 100u);

    // One byte of a finished file flipped and its time put back; one byte of
    // the archive's stored entries too.
    auto flip = [](const std::string& file, int64_t at) {
        fs::file_time_type time = fs::last_write_time(file);
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(at);
        char c = 0;
        f.get(c);
        f.seekp(at);
        f.put(static_cast<char>(c ^ 0x20));
        f.close();
        fs::last_write_time(file, time);
    };
    const TInstallManifest::File& victim = record->Files[record->Files.size() / 2];
    const std::string victimPath = Host(AddBackslash(dir) + victim.Path);
    flip(victimPath, victim.Size / 2);
    flip(Host(dir + "\\game.dat"), static_cast<int64_t>(fs::file_size(Host(dir + "\\game.dat")) / 2));

    Child again(InstallArgs(dir));
    ASSERT_EQ(again.Wait(), 0);
    EXPECT_TRUE(Contents(dir) == expected);
    EXPECT_EQ(again.Count("copied ") + again.Count("found complete /"), fileCount);
    EXPECT_EQ(again.Count(" to " + victimPath + " "), 1); // copied again
    EXPECT_GT(again.Count("found complete /"), 100);
    EXPECT_GT(FoundBytes(again), 0);
    // A killed merge with nothing left to add writes no archive.
    Child third(InstallArgs(dir));
    ASSERT_EQ(third.Wait(), 0);
    EXPECT_EQ(third.Count("copied "), 0);
    EXPECT_EQ(third.Count("found complete /"), fileCount);
    EXPECT_EQ(third.Count("found complete 240 entries"), 1);
    EXPECT_TRUE(Contents(dir) == expected);
}

// A rerun killed in turn loses none of what the first run left: the third
// run finds complete at least everything the first one recorded.
TEST_F(Resumed, ARerunKilledInTurnLosesNothingOfTheFirst)
{
    AnsiString reference = dest / "reference";
    Child whole(InstallArgs(reference));
    ASSERT_EQ(whole.Wait(), 0);
    expected = Contents(reference);
    fileCount = whole.Count("copied ");

    AnsiString dir = dest / "killed";
    Child run(InstallArgs(dir));
    ASSERT_TRUE(run.KillAfterLine("copied " + Host(set.Disc(1)), 20));
    std::optional<TInstallManifest> record = TInstallManifest::Load(AddBackslash(dir));
    ASSERT_TRUE(record);
    const int recorded = static_cast<int>(record->Files.size());
    ASSERT_GT(recorded, 100);

    // Killed among the files it finds complete, before it copies any.
    Child again(InstallArgs(dir));
    ASSERT_TRUE(again.KillAfterLine("found complete /", recorded - 10));
    EXPECT_EQ(again.Count("copied "), 0);

    Child third(InstallArgs(dir));
    ASSERT_EQ(third.Wait(), 0);
    EXPECT_GE(third.Count("found complete /"), recorded);
    EXPECT_EQ(third.Count("copied ") + third.Count("found complete /"), fileCount);
    EXPECT_TRUE(Contents(dir) == expected);
}

} // namespace

#endif
