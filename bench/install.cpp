// The install run through the wizard (null backend, pauses skipped) against
// cp -r of the kept files plus vfarc merge of the discs' archives, the
// uninstall to the trash against gio trash, how responsive the window stays
// during the install, and how soon an abort confirmed during a large file's
// copy ends the run.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>

#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "bench_util.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "setup/program_state.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "ui/null_backend.h"
#include "wizard/form_type.h"

using namespace tarn;
using Clock = std::chrono::steady_clock;

namespace {

void RemoveTree(const AnsiString& dir) { platform::RunProcess(platform::PathFromHost("/bin/rm"), { "-rf", platform::DisplayPath(dir) }); }
void Sync() { platform::RunProcess(platform::PathFromHost("/bin/sync"), {}); }

std::string Bytes(size_t size, std::mt19937& rng)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; i += 512)
        data[i] = static_cast<char>(rng());
    return data;
}

void WriteBytes(const AnsiString& path, const std::string& data)
{
    platform::ForceDirectories(ExtractFilePath(path));
    auto f = platform::File::Open(path, platform::File::Mode::Create);
    f->Write(data.data(), static_cast<int64_t>(data.size()));
}

// The kept files of one disc by folder (names, count, size) and its archive.
struct Part {
    const char* dir;
    const char* ext;
    int count;
    size_t size;
};
const Part kFiles[] = { { "movie", ".mpg", 3, 64u << 20 }, { "bgm", ".wav", 150, 1u << 20 }, { "program", ".exe", 20, 2u << 20 },
                        { "text", ".txt", 2000, 16u << 10 } };
const int kEntries = 700;
const size_t kEntrySize = 512u << 10;

// About 1.5 GiB over two discs: per disc 412 MiB in 2,173 files and 350 MiB of archive.
AnsiString DiscSet()
{
    AnsiString root = bench::DataDir() + "install1g5\\";
    if (platform::FileExists(root + "complete"))
        return root;
    RemoveTree(root);
    std::mt19937 rng(7);
    for (int d = 0; d < 2; ++d) {
        AnsiString disc = root + "disc" + std::to_string(d + 1) + "\\";
        TTarnInstallSet set;
        set.DiscIndex = d;
        set.Title = Sjis(u8"ベンチマーク");
        set.DefaultDir = "\\bench";
        set.GameExe = "program\\p0.exe";
        set.SetDiscCount(2);
        set.MediaName = "CD-ROM";
        set.RegistryKey = "TarnBench\\Install";
        for (int i = 0; i < 2; ++i) {
            for (const Part& p : kFiles) {
                int64_t bytes = int64_t(p.count) * int64_t(p.size);
                std::span<int32_t> list = std::string(p.dir) == "movie" ? set.MovieSizes() : std::string(p.dir) == "bgm" ? set.SoundSizes()
                                                                                                                         : set.ProgramSizes();
                list[i] += static_cast<int32_t>(bytes);
            }
            set.DataSizes()[i] = static_cast<int32_t>(kEntries * kEntrySize);
        }
        set.ProgramTotal = set.ProgramSizes()[0] * 2, set.DataTotal = set.DataSizes()[0] * 2;
        set.SoundTotal = set.SoundSizes()[0] * 2, set.MovieTotal = set.MovieSizes()[0] * 2;
        platform::ForceDirectories(disc);
        set.SaveToFile(disc + "install.dat");
        for (const Part& p : kFiles)
            for (int i = 0; i < p.count; ++i)
                WriteBytes(disc + p.dir + "\\" + p.dir[0] + std::to_string(d) + "_" + std::to_string(i) + p.ext, Bytes(p.size, rng));
        std::vector<TVrNewEntry> entries;
        for (int i = 0; i < kEntries; ++i) {
            TVrNewEntry e;
            e.Name = "data\\d" + std::to_string(d) + "\\e" + std::to_string(i) + ".bin";
            e.Data = Bytes(kEntrySize, rng);
            e.Store = true;
            entries.push_back(std::move(e));
        }
        TVrWriteOptions o;
        o.Sync = false;
        WriteVrArchive(disc + "game.dat", entries, o);
    }
    platform::File::Open(root + "complete", platform::File::Mode::Create);
    return root;
}

// Nobody waits for a program manager in a benchmark.
RunOptions Quick(bool manifest = true)
{
    RunOptions o;
    o.Pauses = false;
    o.Manifest = manifest;
    return o;
}

struct Timing {
    double clickToFirstProgress = 0; // seconds
    double longestGap = 0;           // between two message-processing points
    std::string gapBefore, gapAfter; // what the copy labels said around it
};

// The install as a person makes it: all discs, every component, the destination typed in.
Timing InstallThroughWizard(const AnsiString& disc1, const AnsiString& dest, bool manifest = true)
{
    TProgramState state;
    state.SourceDir = state.ProgramDir = disc1;
    state.InstallSet.LoadFromFile(disc1 + "install.dat");
    state.GameArchive = std::make_unique<TVrFileCollection>();
    state.GameArchive->Open(disc1 + "game.dat");
    auto& backend = static_cast<ui::NullBackend&>(ui::App().GetBackend());
    TFormType w(state, Quick(manifest), nullptr);
    w.ShowPage(pgFile);
    w.CheckData.Click();
    w.CheckSound.Click();
    w.CheckMovie.Click();
    w.ShowPage(pgSelDir);
    w.EditDir.UserSetText(ExcludeTrailingBackslash(dest));
    w.ShowPage(pgConfirm);
    Timing t;
    Clock::time_point click = Clock::now(), last = click;
    bool first = false;
    w.OnModelChanged = [&](ui::Control* c) {
        if (!first && c == &w.Progress && w.Progress.Position() > 0) {
            first = true;
            t.clickToFirstProgress = std::chrono::duration<double>(Clock::now() - click).count();
        }
    };
    std::string label;
    backend.OnProcessMessages = [&] {
        Clock::time_point now = Clock::now();
        double gap = std::chrono::duration<double>(now - last).count();
        std::string text = AnsiToHostUtf8(w.LabelCopyCap.Caption()) + " / " + AnsiToHostUtf8(w.LabelCopy.Caption());
        if (gap > t.longestGap) {
            t.longestGap = gap;
            t.gapBefore = label;
            t.gapAfter = text;
        }
        label = text;
        last = now;
    };
    w.btnNext.Click();
    backend.OnProcessMessages = nullptr;
    if (w.PageIndex() != pgExit) {
        std::fprintf(stderr, "the install did not complete\n");
        std::exit(1);
    }
    return t;
}

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

} // namespace

int main(int argc, char** argv)
{
    bool install = bench::Selected(argc, argv, "install_vs_cp_merge"), responsive = bench::Selected(argc, argv, "install_longest_gap"),
         uninstall = bench::Selected(argc, argv, "uninstall_vs_gio_trash"), abort = bench::Selected(argc, argv, "install_abort_in_copy"),
         record = bench::Selected(argc, argv, "install_record_overhead");
    if (!install && !responsive && !uninstall && !abort && !record)
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
        if (!install && !responsive && !uninstall && !record)
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
