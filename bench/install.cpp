// The install run through the wizard (null backend, pauses skipped) against
// cp -r of the kept files plus vfarc merge of the discs' archives, the
// uninstall to the trash against gio trash, how responsive the window stays
// during the install, and how soon an abort confirmed during a large file's
// copy ends the run, and how long an install killed at 90% takes to finish
// when it is run again.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "bench_discs.h"
#include "bench_util.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "setup/program_state.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "ui/null_backend.h"
#include "wizard/form_type.h"
#include "wizard/manifest.h"

extern char** environ;

using namespace tarn;
using bench::DiscSet;
using bench::InstallThroughWizard;
using bench::Quick;
using bench::RemoveTree;
using bench::Sync;
using bench::Timing;
using bench::Bytes;
using Clock = std::chrono::steady_clock;

namespace {

void UninstallThroughWizard(const AnsiString& dir)
{
    TProgramState state;
    state.SourceDir = state.ProgramDir = dir;
    state.InstallSet.LoadFromFile(dir + "install.dat");
    TFormType w(state, Quick(), nullptr);
    w.btnNext.Click(); // 実行
    if (w.PageIndex() != pgExit || platform::DirectoryExists(dir)) {
        std::fprintf(stderr, "the uninstall did not complete\n");
        std::exit(1);
    }
}

std::string Host(const AnsiString& p) { return platform::DisplayPath(p); }

// One disc with one file of 1 GiB (and nothing else to copy).
AnsiString LargeFileDisc()
{
    AnsiString root = bench::DataDir() + "install1g\\";
    if (platform::FileExists(root + "complete"))
        return root + "disc1\\";
    RemoveTree(root);
    AnsiString disc = root + "disc1\\";
    TTarnInstallSet set;
    set.Title = Sjis(u8"ベンチマーク中断");
    set.DefaultDir = "\\bench";
    set.GameExe = "movie.bin";
    set.SetDiscCount(1);
    set.MediaName = "CD-ROM";
    set.RegistryKey = "TarnBench\\Abort";
    set.ProgramSizes()[0] = set.ProgramTotal = 1 << 30;
    platform::ForceDirectories(disc);
    set.SaveToFile(disc + "install.dat");
    std::mt19937 rng(11);
    auto f = platform::File::Open(disc + "movie.bin", platform::File::Mode::Create);
    for (int i = 0; i < 64; ++i) {
        std::string part = Bytes(size_t(16) << 20, rng);
        f->Write(part.data(), static_cast<int64_t>(part.size()));
    }
    f.reset();
    platform::File::Open(root + "complete", platform::File::Mode::Create);
    return disc;
}

// Milliseconds from the moment an abort is confirmed (中断, then はい) a
// quarter into the 1 GiB file's copy to the moment the wizard's click returns.
double AbortDuringTheCopy(const AnsiString& disc, const AnsiString& dest)
{
    TProgramState state;
    state.SourceDir = state.ProgramDir = disc;
    state.InstallSet.LoadFromFile(disc + "install.dat");
    auto& backend = static_cast<ui::NullBackend&>(ui::App().GetBackend());
    TFormType w(state, Quick(), nullptr);
    w.EditDir.SetText(ExcludeTrailingBackslash(dest));
    w.ShowPage(pgConfirm);
    Clock::time_point confirmed{};
    backend.OnProcessMessages = [&] {
        if (confirmed != Clock::time_point{} || w.Progress.Position() < (int64_t(256) << 20))
            return;
        backend.Then([&](ui::Form& box) {
            ui::AnswerMessage(box, ui::mrYes);
            confirmed = Clock::now();
        });
        w.btnAbort.Click();
    };
    w.btnNext.Click();
    Clock::time_point returned = Clock::now();
    backend.OnProcessMessages = nullptr;
    if (confirmed == Clock::time_point{} || w.GetModalResult() != ui::mrAbort || platform::DirectoryExists(dest)) {
        std::fprintf(stderr, "the abort was not honoured as it should be\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(returned - confirmed).count();
}

// What a process has written so far (its dirtied pages, as the kernel counts
// them); -1 once it cannot be read.
int64_t WrittenBy(pid_t pid)
{
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/io").c_str(), "r");
    if (!f)
        return -1;
    char line[128];
    int64_t written = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "write_bytes:", 12) == 0)
            written = std::strtoll(line + 12, nullptr, 10);
    std::fclose(f);
    return written;
}

// The unattended install as its own process, killed once it has written
// `at` bytes (unless it ends first; at < 0: never). Returns the most it was
// seen to have written.
int64_t InstallKilledAtWritten(const std::string& program, const std::vector<std::string>& args, int64_t at)
{
    std::vector<char*> argv{ const_cast<char*>(program.c_str()) };
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", program.c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    int64_t seen = 0;
    for (;;) {
        seen = std::max(seen, WrittenBy(pid));
        if (at >= 0 && seen >= at) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return seen;
        }
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            if (at >= 0)
                bench::Note("the install ended before it was killed (the rerun finds it complete)");
            return seen;
        }
        ::usleep(500);
    }
}

} // namespace

int main(int argc, char** argv)
{
    bool install = bench::Selected(argc, argv, "install_vs_cp_merge"), responsive = bench::Selected(argc, argv, "install_longest_gap"),
         uninstall = bench::Selected(argc, argv, "uninstall_vs_gio_trash"), abort = bench::Selected(argc, argv, "install_abort_in_copy"),
         record = bench::Selected(argc, argv, "install_record_overhead"), resume = bench::Selected(argc, argv, "resume_after_kill");
    if (!install && !responsive && !uninstall && !abort && !record && !resume)
        return 0;
    // A home of the benchmark's own: its menu entries, registry store and trash.
    std::string data;
    platform::HostPath(bench::DataDir(), data);
    std::string home = data + "install-home";
    RemoveTree(platform::PathFromHost(home));
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    platform::ForceDirectories(platform::PathFromHost(home));
    ui::App().SetBackend(std::make_unique<ui::NullBackend>());

    if (abort) {
        AnsiString disc = LargeFileDisc(), dest = bench::DataDir() + "install1g\\dest\\";
        std::vector<double> waits;
        for (int i = 0; i < 6; ++i) // the first warms the cache
            waits.push_back(AbortDuringTheCopy(disc, dest));
        waits.erase(waits.begin());
        std::sort(waits.begin(), waits.end());
        std::string all;
        for (double ms : waits)
            all += std::to_string(static_cast<int>(ms)) + " ";
        bench::Note("abort confirmed a quarter into a 1 GiB file's copy to the end of the run, 5 runs: " + all + "ms");
        bench::Report("install_abort_in_copy", waits[waits.size() / 2], "ms", "<=", 100);
        if (!install && !responsive && !uninstall && !record && !resume)
            return 0;
    }

    AnsiString root = DiscSet();
    AnsiString disc1 = root + "disc1\\", disc2 = root + "disc2\\", dest = root + "dest\\";
    std::string vfarc = Host(ExtractFilePath(platform::ModuleFileName()) + "vfarc");
    auto clear = [&] {
        RemoveTree(dest);
        Sync();
    };

    if (install || responsive) {
        std::vector<Timing> timings;
        double ours = bench::MedianSeconds(5, [&] { timings.push_back(InstallThroughWizard(disc1, dest)); }, clear);
        int64_t installed = 0;
        for (const AnsiString& f : [&] {
                 StringList l;
                 ListFiles(dest, 0x2F, true, true, l, true, false, false, "");
                 return l;
             }())
            installed += platform::FileSize(f);
        std::string script = "set -e; d=\"$1\"; mkdir -p \"$d\"; for s in \"$2\" \"$3\"; do cp -r \"$s\"/movie \"$s\"/bgm \"$s\"/program \"$s\"/text \"$d\"/; done; "
                             "\"$4\" merge \"$d\"/game.dat \"$2\"/game.dat; \"$4\" merge \"$d\"/game.dat \"$3\"/game.dat";
        double peer = bench::MedianCommandSeconds(5, "/bin/sh", { "-c", script, "sh", Host(dest), Host(disc1), Host(disc2), vfarc }, clear);
        double gap = 0, first = 0;
        std::vector<double> gaps, firsts;
        for (const Timing& t : timings) {
            gaps.push_back(t.longestGap);
            firsts.push_back(t.clickToFirstProgress);
        }
        std::sort(gaps.begin(), gaps.end());
        std::sort(firsts.begin(), firsts.end());
        gap = gaps[gaps.size() / 2], first = firsts[firsts.size() / 2];
        for (const Timing& t : timings)
            bench::Note("longest wait " + std::to_string(t.longestGap * 1000) + " ms, between \"" + t.gapBefore + "\" and \"" +
                        t.gapAfter + "\"");
        bench::Note("two discs, " + std::to_string(installed >> 20) + " MiB installed (" + bench::FileSystemOf(root) + "): wizard " +
                    std::to_string(ours) + " s, cp -r + vfarc merge " + std::to_string(peer) + " s");
        bench::Note("click on インストール to the first progress update: " + std::to_string(first * 1000) + " ms (median of " +
                    std::to_string(timings.size()) + " runs)");
        if (install)
            bench::Report("install_vs_cp_merge", ours / peer, "x", "<=", 1.1);
        if (responsive)
            bench::Report("install_longest_gap", gap * 1000, "ms", "<=", 100);
    }

    if (record) {
        // The same install with and without the record of every file's
        // SHA-256, taken from the bytes as they are copied.
        // Taken in turns, so that both see the same state of the disk and
        // its write-back; the first pair warms the cache.
        std::vector<double> withTimes, withoutTimes;
        for (int i = 0; i < 8; ++i) {
            for (bool manifest : { true, false }) {
                clear();
                Clock::time_point start = Clock::now();
                InstallThroughWizard(disc1, dest, manifest);
                double s = std::chrono::duration<double>(Clock::now() - start).count();
                if (i > 0)
                    (manifest ? withTimes : withoutTimes).push_back(s);
            }
        }
        std::sort(withTimes.begin(), withTimes.end());
        std::sort(withoutTimes.begin(), withoutTimes.end());
        double with = withTimes[withTimes.size() / 2], without = withoutTimes[withoutTimes.size() / 2];
        bench::Note("install of two discs with the installation's record " + std::to_string(with) + " s, without " +
                    std::to_string(without) + " s");
        bench::Report("install_record_overhead", with / without, "x", "<=", 1.05);
    }

    if (resume) {
        // The unattended install from scratch, and the rerun of one killed at
        // 90% of that time; both start with the same cache and an empty
        // write-back (sync).
        std::string setup = Host(ExtractFilePath(platform::ModuleFileName()) + "tarn-setup");
        std::vector<std::string> args = { "--silent", Host(disc1), "--dir", Host(dest), "--components", "all" };
        auto fresh = [&] {
            clear();
            TInstallManifest::Remove(dest);
        };
        double full = bench::MedianCommandSeconds(5, setup, args, fresh);
        // Where 90% of the run is: by what it has written (time varies with
        // the machine's load; the bytes written go with the run's progress).
        fresh();
        int64_t total = InstallKilledAtWritten(setup, args, -1);
        auto killed = [&] {
            fresh();
            InstallKilledAtWritten(setup, args, total * 9 / 10);
            Sync();
        };
        double rerun = bench::MedianCommandSeconds(5, setup, args, killed);
        bench::Note("unattended install of two discs " + std::to_string(full) + " s, " + std::to_string(total >> 20) +
                    " MiB written; killed at 90% of that and run again: " + std::to_string(rerun) + " s");
        bench::Report("resume_after_kill", rerun / full, "x", "<=", 0.3);
        fresh();
    }

    if (uninstall) {
        clear();
        InstallThroughWizard(disc1, dest);
        AnsiString master = root + "installed\\";
        RemoveTree(master);
        platform::RunProcess(platform::PathFromHost("/bin/mv"), { Host(dest), Host(master) });
        std::string trash = home + "/.local/share/Trash";
        auto again = [&] {
            RemoveTree(dest);
            RemoveTree(platform::PathFromHost(trash));
            platform::RunProcess(platform::PathFromHost("/bin/cp"), { "-a", Host(master), Host(dest) });
            Sync();
        };
        double ours = bench::MedianSeconds(5, [&] { UninstallThroughWizard(dest); }, again);
        double gio = bench::MedianCommandSeconds(5, "/usr/bin/gio", { "trash", Host(dest) }, again);
        bench::Note("uninstall of the installation to the trash: wizard " + std::to_string(ours * 1000) + " ms, gio trash " +
                    std::to_string(gio * 1000) + " ms");
        bench::Report("uninstall_vs_gio_trash", ours / gio, "x", "<=", 1.2);
        RemoveTree(master);
        RemoveTree(dest);
        RemoveTree(platform::PathFromHost(trash));
    }
    return 0;
}
