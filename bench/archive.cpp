// The archive engine against its peers: Merge against cat over the same
// bytes, Open of a large directory, Merge's gather over one crowded hash
// chain, and LoadEntry against zlib's own uncompress.
#include <cstdio>
#include <random>

#include <zlib.h>

#include "archive/vr_files.h"
#include "archive/vr_writer.h"
#include "base/path.h"
#include "bench_util.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

using namespace tarn;

namespace {

constexpr int64_t kMiB = 1 << 20;

// Peak resident memory of this process in KiB (VmHWM), -1 when unknown.
int64_t PeakRssKiB()
{
    auto f = platform::File::Open(platform::PathFromHost("/proc/self/status"), platform::File::Mode::Read);
    if (!f)
        return -1;
    std::string text(16384, '\0');
    text.resize(static_cast<size_t>(std::max<int64_t>(f->Read(text.data(), static_cast<int64_t>(text.size())), 0)));
    size_t at = text.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + 6);
}

std::string Mb(double bytes) { return std::to_string(static_cast<int64_t>(bytes / kMiB)) + " MiB"; }

// 1.9 GiB of entry data: four stored entries of 486 MiB (incompressible
// bytes) and a few small ones, in game.dat and game.001.
AnsiString MergeSource()
{
    AnsiString dir = bench::DataDir() + "vf-merge\\";
    AnsiString archive = dir + "src\\game.dat";
    if (platform::FileExists(dir + "complete"))
        return archive;
    platform::ForceDirectories(dir + "src");
    AnsiString blob = dir + "blob.bin";
    {
        std::mt19937_64 rng(1);
        std::vector<uint64_t> chunk(static_cast<size_t>(kMiB / 8));
        auto f = platform::File::Open(blob, platform::File::Mode::Create);
        for (int i = 0; i < 486; ++i) {
            for (auto& v : chunk)
                v = rng();
            f->Write(chunk.data(), kMiB);
        }
    }
    std::vector<TVrNewEntry> entries;
    for (int i = 0; i < 4; ++i) {
        TVrNewEntry e;
        e.Name = "movie\\part" + std::to_string(i) + ".mpg";
        e.SourceFile = blob;
        e.Store = true;
        entries.push_back(e);
        TVrNewEntry small;
        small.Name = "text\\note" + std::to_string(i) + ".txt";
        small.Data = std::string(1000, 'n');
        entries.push_back(small);
    }
    TVrWriteOptions options;
    options.Sync = false;
    WriteVrArchive(archive, entries, options);
    platform::RemoveFile(blob);
    platform::File::Open(dir + "complete", platform::File::Mode::Create);
    return archive;
}

void BenchMerge()
{
    AnsiString source = MergeSource();
    AnsiString dir = ExtractFilePath(ExtractFilePath(source).substr(0, ExtractFilePath(source).size() - 1));
    AnsiString target = dir + "dst\\game.dat";
    AnsiString catOut = dir + "dst\\cat.out";
    platform::ForceDirectories(dir + "dst");
    TVrFileCollection src;
    src.Open(source);
    int64_t bytes = src.Stream->GetSize();
    auto clear = [&] {
        DeleteBigFile(target);
        platform::RemoveFile(catOut);
    };
    int64_t peakBefore = PeakRssKiB();
    double merge = bench::MedianSeconds(
        5,
        [&] {
            TVrFileCollection t;
            t.SyncOnMerge = false; // cat does not sync either
            t.Open(target, true);
            t.Merge(src);
        },
        clear);
    int64_t peakAfter = PeakRssKiB();
    TVrFileCollection check;
    check.Open(target);
    int pieces = check.Stream->PieceCount();
    int64_t merged = check.Stream->GetSize();
    check.Open("");
    double cat = bench::MedianCommandSeconds(5, "/bin/sh",
                                             { "-c", "cat \"$1\" \"$2\" > \"$3\"", "sh", platform::DisplayPath(source),
                                               platform::DisplayPath(TTpBigFileStream::PieceNameOf(source, 1)), platform::DisplayPath(catOut) },
                                             clear);
    clear();
    bench::Note("Merge of " + Mb(static_cast<double>(bytes)) + " (entries of 486 MiB, " + std::to_string(pieces) + " pieces, " +
                Mb(static_cast<double>(merged)) + " written): " + std::to_string(merge) + " s = " +
                std::to_string(static_cast<double>(bytes) / kMiB / merge) + " MiB/s; cat of the same bytes: " + std::to_string(cat) +
                " s = " + std::to_string(static_cast<double>(bytes) / kMiB / cat) + " MiB/s (" + bench::FileSystemOf(dir) + ", no fsync)");
    bench::Note("peak resident memory: " + std::to_string(peakBefore / 1024) + " MiB before the merges, " + std::to_string(peakAfter / 1024) +
                " MiB after them");
    bench::Report("merge_vs_cat", cat / merge, "x_throughput", ">=", 0.9);
    bench::Report("merge_peak_memory_growth", static_cast<double>(peakAfter - peakBefore) / 1024, "MiB", "<=", 64);
}

// 200,000 small entries with names of a game's usual shape.
AnsiString ManyEntries()
{
    AnsiString archive = bench::DataDir() + "vf-200k\\game.dat";
    if (platform::FileExists(archive))
        return archive;
    platform::ForceDirectories(ExtractFilePath(archive));
    std::vector<TVrNewEntry> entries(200000);
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].Name = "scene" + std::to_string(i / 1000) + "\\cg" + std::to_string(i) + (i % 3 ? ".gal" : ".ogg");
        entries[i].Data = std::to_string(i);
        entries[i].Store = true;
    }
    TVrWriteOptions options;
    options.Sync = false;
    WriteVrArchive(archive, entries, options);
    return archive;
}

void BenchOpen()
{
    AnsiString archive = ManyEntries();
    TVrFileCollection c;
    double open = bench::MedianSeconds(7, [&] { c.Open(archive); });
    bench::Note("Open of " + std::to_string(c.Count() - 1) + " entries (" + Mb(static_cast<double>(platform::FileSize(archive))) +
                "): " + std::to_string(open * 1000) + " ms");
    bench::Report("open_200k_entries", open * 1000, "ms", "<=", 150);
}

void BenchGather()
{
    // bg000000.gal ... : same length, same first and second-to-last byte, so
    // every name is in one chain. Half of the source's names are new.
    TVrFileCollection target, source;
    char name[32];
    for (int i = 0; i < 200000; ++i) {
        std::snprintf(name, sizeof name, "bg%06d.gal", i);
        target.AddEntry(name);
        std::snprintf(name, sizeof name, "BG%06d.GAL", i + 100000);
        source.AddEntry(name);
    }
    if (target.Items(0).Bucket != target.Items(199999).Bucket)
        std::printf("names not in one bucket\n");
    size_t added = 0;
    double gather = bench::MedianSeconds(5, [&] { added = target.NewEntriesFrom(source).size(); });
    // The chain walk for comparison, on a tenth of the source.
    auto chainWalk = [&](int n) {
        size_t count = 0;
        for (int i = 0; i < n; ++i)
            count += target.IndexOf(source.Items(i).Name()) < 0;
        return count;
    };
    double walk = bench::MedianSeconds(1, [&] { chainWalk(2000); });
    bench::Note("gather over 200,000 + 200,000 names in one chain: " + std::to_string(gather * 1000) + " ms, " + std::to_string(added) +
                " new; IndexOf for 2,000 of them: " + std::to_string(walk * 1000) + " ms (all 200,000 would take ~" +
                std::to_string(walk * 100) + " s)");
    bench::Report("gather_200k_one_bucket", gather, "s", "<=", 1);
}

// Text-like content that compresses about 3:1, in 1 MiB entries.
void BenchLoadEntry()
{
    AnsiString archive = bench::DataDir() + "vf-load\\game.dat";
    std::vector<std::string> contents;
    std::mt19937 rng(5);
    const char* words[] = { "the ", "sakura ", "petal ", "falls ", "slowly ", "\xe6\xa1\x9c", "\n", "night ", "rain ", "\"", "!", "station " };
    for (int e = 0; e < 48; ++e) {
        std::string s;
        while (s.size() < static_cast<size_t>(kMiB))
            s += words[rng() % 12], s += static_cast<char>('a' + rng() % 26);
        s.resize(static_cast<size_t>(kMiB));
        contents.push_back(std::move(s));
    }
    std::vector<TVrNewEntry> entries(contents.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].Name = "text" + std::to_string(i) + ".txt";
        entries[i].Data = contents[i];
    }
    platform::ForceDirectories(ExtractFilePath(archive));
    TVrWriteOptions options;
    options.Sync = false;
    WriteVrArchive(archive, entries, options);
    TVrFileCollection c;
    c.Open(archive);
    std::vector<std::string> compressed;
    int64_t packed = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TVrFile& f = c.Items(static_cast<int32_t>(i));
        std::string bytes(static_cast<size_t>(f.Size), '\0');
        c.Stream->SetPosition(f.Offset);
        c.Stream->Read(bytes.data(), f.Size);
        packed += f.Size;
        compressed.push_back(std::move(bytes));
    }
    TMemoryStream m;
    double load = bench::MedianSeconds(5, [&] {
        for (const TVrNewEntry& e : entries)
            c.LoadEntry(m, e.Name);
    });
    std::vector<uint8_t> out(static_cast<size_t>(kMiB));
    double peer = bench::MedianSeconds(5, [&] {
        for (const std::string& z : compressed) {
            uLongf size = static_cast<uLongf>(out.size());
            uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(z.data()), static_cast<uLong>(z.size()));
        }
    });
    bench::Note("LoadEntry of 48 entries of 1 MiB (" + Mb(static_cast<double>(packed)) + " compressed): " + std::to_string(load * 1000) +
                " ms; zlib uncompress of the same bytes from memory into a buffer of the known size: " + std::to_string(peer * 1000) +
                " ms");
    bench::Report("loadentry_vs_uncompress", peer / load, "x_throughput", ">=", 0.9);
}

} // namespace

int main(int argc, char** argv)
{
    if (bench::Selected(argc, argv, "open_200k_entries"))
        BenchOpen();
    if (bench::Selected(argc, argv, "gather_200k_one_bucket"))
        BenchGather();
    if (bench::Selected(argc, argv, "loadentry_vs_uncompress"))
        BenchLoadEntry();
    if (bench::Selected(argc, argv, "merge_vs_cat") || bench::Selected(argc, argv, "merge_peak_memory_growth"))
        BenchMerge();
    return 0;
}
