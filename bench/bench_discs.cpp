#include "bench_discs.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "archive/vr_files.h"
#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "bench_util.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "setup/program_state.h"
#include "ui/application.h"
#include "ui/null_backend.h"
#include "wizard/form_type.h"

namespace tarn::bench {

using Clock = std::chrono::steady_clock;

namespace {

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

} // namespace

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

// About 1.5 GiB over two discs: per disc 412 MiB in 2,173 files and 350 MiB of archive.
AnsiString DiscSet()
{
    AnsiString root = DataDir() + "install1g5\\";
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

RunOptions Quick(bool manifest)
{
    RunOptions o;
    o.Pauses = false;
    o.Manifest = manifest;
    return o;
}


// The install as a person makes it: all discs, every component, the destination typed in.
Timing InstallThroughWizard(const AnsiString& disc1, const AnsiString& dest, bool manifest)
{
    TProgramState state;
    state.SourceDir = state.ProgramDir = disc1;
    state.InstallSet.LoadFromFile(disc1 + "install.dat");
    state.GameArchive = std::make_unique<TVrFileCollection>();
    state.GameArchive->Open(disc1 + "game.dat");
    auto& backend = static_cast<ui::NullBackend&>(ui::App().GetBackend());
    TFormType w(state, Quick(manifest), nullptr);
    w.ShowPage(pgFile); // every component starts chosen
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

} // namespace tarn::bench
