// ListFiles against find, and CopyIfChanged against cp -p, on generated trees.
#include <cstdio>
#include <random>

#include "base/path.h"
#include "bench_util.h"
#include "platform/file_routines.h"
#include "platform/platform.h"

using namespace tarn;

namespace {

void RemoveTree(const AnsiString& dir)
{
    platform::RunProcess(platform::PathFromHost("/bin/rm"), { "-rf", platform::DisplayPath(dir) });
}

void WriteBytes(const AnsiString& path, size_t size, std::mt19937& rng)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; i += 4096)
        data[i] = static_cast<char>(rng());
    auto f = platform::File::Open(path, platform::File::Mode::Create);
    f->Write(data.data(), static_cast<int64_t>(data.size()));
}

// 100,000 empty files: 10 directories of 10 subdirectories of 1,000 files.
AnsiString ListTree()
{
    AnsiString root = bench::DataDir() + "list100k\\";
    if (platform::FileExists(root + "complete"))
        return root;
    RemoveTree(root);
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b) {
            AnsiString dir = root + "d" + std::to_string(a) + "\\s" + std::to_string(b) + "\\";
            platform::ForceDirectories(dir);
            for (int c = 0; c < 1000; ++c)
                platform::File::Open(dir + "file" + std::to_string(c) + ".dat", platform::File::Mode::Create);
        }
    platform::File::Open(root + "complete", platform::File::Mode::Create);
    return root;
}

// 1 GiB in files of mixed sizes: 16 x 32 MiB, 128 x 2 MiB, 2,048 x 64 KiB, 16,384 x 8 KiB.
AnsiString CopyTree()
{
    AnsiString root = bench::DataDir() + "copy1g\\";
    if (platform::FileExists(root + "complete"))
        return root;
    RemoveTree(root);
    std::mt19937 rng(42);
    struct Group {
        const char* dir;
        int count;
        size_t size;
    } groups[] = { { "big", 16, 32u << 20 }, { "mid", 128, 2u << 20 }, { "small", 2048, 64u << 10 }, { "tiny", 16384, 8u << 10 } };
    for (const Group& g : groups)
        for (int i = 0; i < g.count; ++i) {
            AnsiString dir = root + "src\\" + g.dir + "\\" + std::to_string(i / 1000) + "\\";
            if (i % 1000 == 0)
                platform::ForceDirectories(dir);
            WriteBytes(dir + "f" + std::to_string(i), g.size, rng);
        }
    platform::File::Open(root + "complete", platform::File::Mode::Create);
    return root;
}

// What the install run does with a tree: list it, create target directories,
// copy each file unless it is unchanged.
void InstallCopy(const AnsiString& source, const AnsiString& target)
{
    StringList files;
    ListFiles(source, 0x2F, true, true, files, true, false, false, "");
    AnsiString lastDir;
    for (const AnsiString& f : files) {
        AnsiString dest = target + f.substr(source.size());
        AnsiString dir = ExtractFilePath(dest);
        if (dir != lastDir) {
            platform::ForceDirectories(dir);
            lastDir = dir;
        }
        CopyIfChanged(f, dest, true);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (bench::Selected(argc, argv, "listfiles_vs_find")) {
        AnsiString root = ListTree();
        StringList list;
        double ours = bench::MedianSeconds(5, [&] { ListFiles(root, 0x2F, true, true, list, true, false, false, ""); });
        double find = bench::MedianCommandSeconds(5, "/bin/sh", { "-c", "find \"$1\" -type f > /dev/null", "sh", platform::DisplayPath(root) });
        bench::Note("ListFiles over " + std::to_string(list.size()) + " files: " + std::to_string(ours * 1000) +
                    " ms; find -type f: " + std::to_string(find * 1000) + " ms (" + bench::FileSystemOf(root) + ")");
        bench::Report("listfiles_vs_find", ours / find, "x", "<=", 1.5);
    }
    bool copy = bench::Selected(argc, argv, "copyifchanged_vs_cp"), skip = bench::Selected(argc, argv, "copyifchanged_skip");
    if (copy || skip) {
        AnsiString root = CopyTree();
        AnsiString src = root + "src\\", dst = root + "dst\\";
        // Before every run, untimed and the same for both sides: the old copy
        // goes and the disk catches up with what is still to be written.
        auto clear = [&] {
            RemoveTree(dst);
            platform::RunProcess(platform::PathFromHost("/bin/sync"), {});
        };
        double ours = bench::MedianSeconds(5, [&] { InstallCopy(src, dst); }, clear);
        double cp = bench::MedianCommandSeconds(5, "/bin/cp", { "-p", "-r", platform::DisplayPath(src), platform::DisplayPath(dst) }, clear);
        InstallCopy(src, dst);
        double again = bench::MedianSeconds(5, [&] { InstallCopy(src, dst); });
        RemoveTree(dst);
        bench::Note("1 GiB in 18,576 files (" + bench::FileSystemOf(root) + "): CopyIfChanged " + std::to_string(ours) +
                    " s, cp -p -r " + std::to_string(cp) + " s, unchanged tree " + std::to_string(again) + " s");
        if (copy)
            bench::Report("copyifchanged_vs_cp", cp / ours, "x_throughput", ">=", 0.9);
        if (skip)
            bench::Report("copyifchanged_skip", ours / again, "x_faster", ">=", 10);
    }
    return 0;
}
