// Every file operation of an unattended install and uninstall of the sample
// set, failed in turn: for each N and each of a full disk, a refused
// permission and a failing device, the Nth operation of the installer
// (tarn-setup-faults) fails, and then
// - the run ends by itself with 0 only for a complete and right installation
//   (or removal), otherwise with 1 and the reason on standard error;
// - the discs are untouched;
// - after a failed install nothing claims an installation, and the same
//   install run again without the fault gives the tree of an uninterrupted one;
// - an uninstall never loses save.dat or the person's own file, and one run
//   again without the fault finishes the removal.
// Each run gets a fresh home and data folders of its own. TARN_SWEEP_FROM=N
// starts the sweeps at N (to look again at a point that failed). POSIX only (the
// sweep under Wine would take hours; the hooks are compiled there too).
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

#include "base/path.h"
#include "platform/platform.h"
#include "platform/sha256.h"
#include "setup/install_set.h"
#include "support/test_support.h"
#include "wizard/manifest.h"

extern char** environ;

using namespace tarn;
namespace fs = std::filesystem;

namespace {

using Tree = std::map<std::string, std::string>; // relative path -> SHA-256

std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

std::string ReadHostFile(const std::string& file)
{
    std::string bytes;
    if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

std::string HashOf(const std::string& file)
{
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return "(unreadable)";
    platform::Sha256 sha;
    std::vector<char> buffer(1 << 20);
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;)
        sha.Update(buffer.data(), n);
    std::fclose(f);
    return platform::Sha256::Hex(sha.Finish());
}

// The regular files below dir with the SHA-256 of each; skip: names of
// folders (relative) left out.
Tree TreeOf(const std::string& dir, const std::vector<std::string>& skip = {})
{
    Tree tree;
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return tree;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string rel = fs::relative(it->path(), dir).string();
        if (it->is_directory() && std::find(skip.begin(), skip.end(), rel) != skip.end()) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_directory())
            tree[rel] = it->is_regular_file() ? HashOf(it->path().string()) : std::string("(not a regular file)");
    }
    return tree;
}

std::string Describe(const Tree& expected, const Tree& got)
{
    std::string out;
    for (const auto& [name, sha] : expected)
        if (!got.count(name))
            out += "  missing " + name + "\n";
        else if (got.at(name) != sha)
            out += "  differs " + name + "\n";
    for (const auto& [name, sha] : got)
        if (!expected.count(name))
            out += "  extra " + name + "\n";
    return out;
}

struct Outcome {
    int Exit = -1;   // -1: killed by a signal (a crash) or by the time limit
    bool Hung = false;
    std::string Err; // standard error
};

// One run of tarn-setup-faults with the home and data folders under root
// (HOME, XDG_*, TMPDIR) and, when fault is not empty, TARN_FAULT=fault.
Outcome RunFaulty(const std::string& root, const std::vector<std::string>& args, const std::string& fault,
                  const std::string& countFile = {})
{
    static const char* const kOwn[] = { "HOME=",           "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME=",
                                         "XDG_RUNTIME_DIR=", "TMPDIR=",         "TARN_FAULT=",    "TARN_FAULT_COUNT=" };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string_view v = *e;
        if (std::none_of(std::begin(kOwn), std::end(kOwn), [&](const char* own) { return v.starts_with(own); }))
            env.emplace_back(v);
    }
    env.push_back("HOME=" + root + "/home");
    env.push_back("XDG_CONFIG_HOME=" + root + "/config");
    env.push_back("XDG_DATA_HOME=" + root + "/home/.local/share");
    env.push_back("XDG_CACHE_HOME=" + root + "/cache");
    env.push_back("XDG_RUNTIME_DIR=" + root + "/runtime");
    env.push_back("TMPDIR=" + root + "/tmp");
    if (!fault.empty())
        env.push_back("TARN_FAULT=" + fault);
    if (!countFile.empty())
        env.push_back("TARN_FAULT_COUNT=" + countFile);
    for (const char* sub : { "/home", "/config", "/cache", "/runtime", "/tmp" })
        fs::create_directories(root + sub);
    fs::permissions(root + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string program = Host(test::ProgramPath("tarn-setup-faults")), errFile = root + "/stderr.txt";
    test::Argv argv(program, args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.Get(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return outcome;
    }
    // A run of the sample takes well under a second: a minute is a hang.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            outcome.Hung = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    outcome.Exit = !outcome.Hung && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.Err = ReadHostFile(errFile);
    return outcome;
}

// What the program says besides the fault layer's own line.
bool GivesAReason(const std::string& err)
{
    std::string rest;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        std::string line = err.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.starts_with("tarn-setup-faults:") && line.find_first_not_of(" \r") != std::string::npos)
            rest += line;
        start = end == std::string::npos ? err.size() : end + 1;
    }
    return !rest.empty();
}

class Sweep : public ::testing::TestWithParam<const char*> {
protected:
    // The sample set, built once per test program, under a title of its own.
    static void SetUpTestSuite()
    {
        dir_ = new test::TempDir();
        AnsiString title = *dir_ / "title.bmp";
        auto drawn = platform::RunProcess(test::ProgramPath("tarn-sample-title"), { Host(title) });
        ASSERT_EQ(drawn.ExitCode, 0) << drawn.Err;
        auto built = platform::RunProcess(test::ProgramPath("mkdisc"),
                                          { Host(platform::PathFromHost(std::string(TARN_SOURCE_DIR) + "/examples/sample/manifest.json")),
                                            "-o", Host(*dir_ / "discs"), "-D", "title=" + Host(title), "-D",
                                            "game=" + Host(test::ProgramPath("tarn-sample-game")), "-D",
                                            "setup=" + Host(test::SetupProgramPath()) });
        ASSERT_EQ(built.ExitCode, 0) << built.Err;
        discs_ = new Tree(TreeOf(Host(*dir_ / "discs")));
        ASSERT_GT(discs_->size(), 10u);
    }
    static void TearDownTestSuite()
    {
        delete discs_;
        delete dir_;
    }

    static std::string Disc1() { return Host(*dir_ / "discs\\disc1"); }
    // Every run's folders lie at the same place, made afresh for each run:
    // the destination's name (which the record and install.dat keep) is the
    // same for every run, so that trees compare byte for byte.
    static std::string Root() { return Host(*dir_ / "run"); }
    static std::string Destination() { return Root() + "/dest/Shiomizaka"; }
    static void Fresh()
    {
        std::error_code ec;
        fs::permissions(Root(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(Root(), ec);
        ASSERT_FALSE(fs::exists(Root()));
    }
    static std::vector<std::string> InstallArgs()
    {
        return { "--silent", Disc1(), "--dir", Destination(), "--components", "all" };
    }
    static std::vector<std::string> UninstallArgs() { return { "--silent", "--uninstall", Destination() }; }

    // The number of operations an uninterrupted run of args counts.
    static long Count(const std::vector<std::string>& args)
    {
        std::string countFile = Host(*dir_ / "count.txt");
        Outcome o = RunFaulty(Root(), args, "", countFile);
        EXPECT_EQ(o.Exit, 0) << o.Err;
        return std::atol(ReadHostFile(countFile).c_str());
    }

    // The registry value the install writes, read from this run's store.
    static AnsiString Recorded()
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", Root() + "/config");
        TTarnInstallSet disc;
        disc.LoadFromFile(*dir_ / "discs\\disc1\\install.dat");
        return disc.ReadRegString("InstallPath", "none");
    }
    // The desktop menu's files of this run (entries, directories, menus).
    static Tree MenuFiles()
    {
        Tree all;
        for (const std::string& dir : { Root() + "/home/.local/share/applications", Root() + "/home/.local/share/desktop-directories",
                                        Root() + "/config/menus" })
            for (auto& [name, sha] : TreeOf(dir))
                all[dir + "/" + name] = sha;
        return all;
    }
    // The records of installations of this run that say they are complete.
    static int CompleteRecords()
    {
        int complete = 0;
        for (auto& [name, sha] : TreeOf(Root() + "/home/.local/share/tarn-setup/installations")) {
            if (!name.ends_with(".json"))
                continue;
            try {
                complete += TInstallManifest::FromJson(ReadHostFile(Root() + "/home/.local/share/tarn-setup/installations/" + name)).Complete;
            } catch (const std::exception&) {
            }
        }
        return complete;
    }
    static bool ClaimedInDestination()
    {
        try {
            TTarnInstallSet there;
            there.LoadFromFile(platform::PathFromHost(Destination() + "/install.dat"));
            return there.Installed != 0;
        } catch (const std::exception&) {
            return false;
        }
    }
    static void ExpectDiscsUntouched()
    {
        Tree now = TreeOf(Host(*dir_ / "discs"));
        EXPECT_TRUE(now == *discs_) << "the discs changed:\n" << Describe(*discs_, now);
    }

    static test::TempDir* dir_;
    static Tree* discs_;
};

test::TempDir* Sweep::dir_ = nullptr;
Tree* Sweep::discs_ = nullptr;

std::string Name(const ::testing::TestParamInfo<const char*>& info) { return info.param; }

long FirstPoint()
{
    long from = std::atol(platform::GetEnv("TARN_SWEEP_FROM").c_str());
    return from > 0 ? from : 1;
}

using InstallSweep = Sweep;
using UninstallSweep = Sweep;

TEST_P(InstallSweep, EveryOperationFailsInTurn)
{
    const std::string kind = GetParam();
    Fresh();
    const long count = Count(InstallArgs());
    const Tree reference = TreeOf(Destination());
    ASSERT_GT(count, 20);
    ASSERT_GT(reference.size(), 10u);
    ASSERT_EQ(Recorded(), AnsiString(platform::PathFromHost(Destination())) + "\\");
    std::cout << "install: " << count << " operations, " << reference.size() << " files\n";

    int failed = 0;
    for (long n = FirstPoint(); n <= count; ++n) {
        const std::string fault = std::to_string(n) + ":" + kind;
        SCOPED_TRACE("TARN_FAULT=" + fault);
        Fresh();
        Outcome o = RunFaulty(Root(), InstallArgs(), fault);
        ASSERT_FALSE(o.Hung) << "the run did not end:\n" << o.Err;
        // 5: a disc could not be read where it lies, so it was found nowhere
        // (the status of a disc missing in an unattended run).
        ASSERT_TRUE(o.Exit == 0 || o.Exit == 1 || o.Exit == 5) << "exit " << o.Exit << "\n" << o.Err;
        if (o.Exit == 0) {
            // Done in spite of the fault (one that is retried, or a menu
            // that could not be made, which must never cost the game).
            // The old archive that a merge set aside and could not delete
            // afterwards is left for the next merge (or the uninstall).
            Tree got = TreeOf(Destination());
            got.erase("$$tinstold.dat");
            ASSERT_TRUE(got == reference) << "exit 0 with a broken installation:\n" << Describe(reference, got) << o.Err;
            EXPECT_TRUE(ClaimedInDestination());
            EXPECT_EQ(CompleteRecords(), 1);
            EXPECT_EQ(RunFaulty(Root(), { "--verify", Destination() }, "").Exit, 0) << "exit 0, and the installation does not verify";
        } else {
            ++failed;
            EXPECT_TRUE(GivesAReason(o.Err)) << "no reason on standard error: " << o.Err;
            EXPECT_EQ(Recorded(), "none") << o.Err;
            EXPECT_FALSE(ClaimedInDestination()) << o.Err;
            EXPECT_EQ(CompleteRecords(), 0) << o.Err;
            EXPECT_TRUE(MenuFiles().empty()) << o.Err;
            Outcome again = RunFaulty(Root(), InstallArgs(), "");
            ASSERT_EQ(again.Exit, 0) << "the rerun without the fault fails:\n" << again.Err << "\nafter:\n" << o.Err;
            Tree got = TreeOf(Destination());
            ASSERT_TRUE(got == reference) << "the rerun's tree:\n" << Describe(reference, got) << "\nafter:\n" << o.Err;
            EXPECT_EQ(Recorded(), AnsiString(platform::PathFromHost(Destination())) + "\\");
            EXPECT_TRUE(ClaimedInDestination());
            EXPECT_EQ(CompleteRecords(), 1);
            Outcome verified = RunFaulty(Root(), { "--verify", Destination() }, "");
            EXPECT_EQ(verified.Exit, 0) << "the rerun's installation does not verify:\n" << verified.Err;
        }
        ExpectDiscsUntouched();
        if (HasFatalFailure() || ::testing::Test::HasFailure())
            break; // the first point that fails is the one to look at
    }
    // Many operations of an install are needed: their faults end the run.
    EXPECT_GT(failed, (count - FirstPoint() + 1) / 4);
}

TEST_P(UninstallSweep, EveryOperationFailsInTurn)
{
    const std::string kind = GetParam();
    const std::string save = "the person's progress", notes = "written by the person";
    // An installation that holds save data and a file of the person's.
    auto installed = [&] {
        Fresh();
        Outcome o = RunFaulty(Root(), InstallArgs(), "");
        EXPECT_EQ(o.Exit, 0) << o.Err;
        std::ofstream(Destination() + "/save.dat", std::ios::binary) << save;
        std::ofstream(Destination() + "/notes.txt", std::ios::binary) << notes;
    };
    const Tree kept = { { "notes.txt", platform::Sha256::Hex(platform::Sha256::Of(notes)) },
                        { "save.dat", platform::Sha256::Hex(platform::Sha256::Of(save)) } };
    installed();
    const long count = Count(UninstallArgs());
    ASSERT_GT(count, 10);
    ASSERT_TRUE(TreeOf(Destination()) == kept) << Describe(kept, TreeOf(Destination()));
    std::cout << "uninstall: " << count << " operations\n";

    int failed = 0;
    for (long n = FirstPoint(); n <= count; ++n) {
        const std::string fault = std::to_string(n) + ":" + kind;
        SCOPED_TRACE("TARN_FAULT=" + fault);
        installed();
        Outcome o = RunFaulty(Root(), UninstallArgs(), fault);
        ASSERT_FALSE(o.Hung) << "the run did not end:\n" << o.Err;
        ASSERT_TRUE(o.Exit == 0 || o.Exit == 1) << "exit " << o.Exit << "\n" << o.Err;
        // save.dat stays where it was, whatever happened.
        EXPECT_EQ(ReadHostFile(Destination() + "/save.dat"), save) << o.Err;
        EXPECT_EQ(ReadHostFile(Destination() + "/notes.txt"), notes) << o.Err;
        if (o.Exit != 0) {
            ++failed;
            EXPECT_TRUE(GivesAReason(o.Err)) << "no reason on standard error: " << o.Err;
            // Whatever it left, the next uninstall finishes it.
            Outcome again = RunFaulty(Root(), UninstallArgs(), "");
            ASSERT_EQ(again.Exit, 0) << "the next uninstall cannot finish:\n" << again.Err << "\nafter:\n" << o.Err;
        }
        Tree left = TreeOf(Destination());
        EXPECT_TRUE(left == kept) << "left in the destination:\n" << Describe(kept, left) << o.Err;
        EXPECT_EQ(Recorded(), "none") << o.Err;
        EXPECT_TRUE(MenuFiles().empty()) << o.Err;
        EXPECT_EQ(CompleteRecords(), 0) << o.Err;
        ExpectDiscsUntouched();
        if (::testing::Test::HasFailure())
            break;
    }
    EXPECT_GT(failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, InstallSweep, ::testing::Values("ENOSPC", "EACCES", "EIO"), Name);
INSTANTIATE_TEST_SUITE_P(Faults, UninstallSweep, ::testing::Values("ENOSPC", "EACCES", "EIO"), Name);

} // namespace

#endif
