// The check of an installation against its record (tarn-setup --verify)
// against sha256sum -c of a list of the same files, both over the installed
// two-disc set of about 1.5 GiB with a warm cache.
#include <cstdlib>

#include "base/path.h"
#include "bench_discs.h"
#include "bench_util.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/null_backend.h"

using namespace tarn;

namespace {

std::string Host(const AnsiString& p) { return platform::DisplayPath(p); }

} // namespace

int main(int argc, char** argv)
{
    if (!bench::Selected(argc, argv, "verify_vs_sha256sum"))
        return 0;
    std::string data;
    platform::HostPath(bench::DataDir(), data);
    std::string home = data + "verify-home";
    bench::RemoveTree(platform::PathFromHost(home));
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    platform::ForceDirectories(platform::PathFromHost(home));
    ui::App().SetBackend(std::make_unique<ui::NullBackend>());

    AnsiString root = bench::DiscSet();
    AnsiString dest = root + "verified\\";
    bench::RemoveTree(dest);
    bench::InstallThroughWizard(root + "disc1\\", dest);

    // The peer's list: every installed file with its SHA-256, made once.
    std::string list = data + "verify-list.sha256";
    std::string make = "cd \"$1\" && find . -type f -print0 | xargs -0 sha256sum > \"$2\"";
    if (platform::RunProcess(platform::PathFromHost("/bin/sh"), { "-c", make, "sh", Host(dest), list }).ExitCode != 0) {
        std::fprintf(stderr, "sha256sum failed\n");
        return 1;
    }
    std::string self = Host(ExtractFilePath(platform::ModuleFileName()) + "tarn-setup");
    auto check = platform::RunProcess(platform::PathFromHost(self), { "--verify", Host(dest) });
    if (check.ExitCode != 0) {
        std::fprintf(stderr, "the installation does not verify: %s\n", check.Out.c_str());
        return 1;
    }
    // Both read the same files from the page cache; a first run of each warms it.
    double ours = bench::MedianCommandSeconds(5, self, { "--verify", Host(dest) }, [] {});
    double peer = bench::MedianCommandSeconds(5, "/bin/sh", { "-c", "cd \"$1\" && sha256sum --quiet -c \"$2\"", "sh", Host(dest), list }, [] {});
    int64_t bytes = 0;
    StringList files;
    ListFiles(dest, 0x2F, true, true, files, true, false, false, "");
    for (const AnsiString& f : files)
        bytes += std::max<int64_t>(0, platform::FileSize(f));
    bench::Note("check of " + std::to_string(files.size()) + " files, " + std::to_string(bytes >> 20) +
                " MiB: tarn-setup --verify " + std::to_string(ours) + " s, sha256sum -c " + std::to_string(peer) + " s");
    bench::Report("verify_vs_sha256sum", ours / peer, "x", "<=", 1.1);
    bench::RemoveTree(dest);
    return 0;
}
