// The POSIX registry store at the size a long-used machine may reach: an
// install's record written into a store of 200,000 keys, each with a value.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_util.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "setup/install_set.h"

using namespace tarn;

namespace {

constexpr int kKeys = 200000;

// The store as the registry writes it: 2,000 makers of 100 games each, every
// game with its InstallPath. Written once and kept with the benchmark data.
AnsiString StoreFile()
{
    AnsiString file = bench::DataDir() + "regstore200k.reg";
    if (platform::FileExists(file))
        return file;
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\Software]\n";
    for (int i = 0; i < kKeys; ++i) {
        std::string maker = "Maker" + std::to_string(i / 100), game = "Game" + std::to_string(i);
        if (i % 100 == 0)
            text += "\n[HKEY_CURRENT_USER\\Software\\" + maker + "]\n";
        text += "\n[HKEY_CURRENT_USER\\Software\\" + maker + "\\" + game + "]\n\"InstallPath\"=\"C:\\\\Games\\\\" + game + "\\\\\"\n";
    }
    WriteFileAtomically(file, text);
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    if (!bench::Selected(argc, argv, "regstore_200k_keys"))
        return 0;
    // A configuration folder of the benchmark's own.
    std::string data;
    platform::HostPath(bench::DataDir(), data);
    std::string config = data + "registry-config";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    AnsiString storeDir = platform::PathFromHost(config + "/tarn-setup") + "\\";
    platform::ForceDirectories(storeDir);

    AnsiString source = StoreFile();
    std::vector<uint8_t> bytes = ReadWholeFile(source);
    std::string original(bytes.begin(), bytes.end());
    TTarnInstallSet set;
    set.RegistryKey = "Maker1999\\NewGame";
    // Every run starts from the same store: read it, add the record, save it.
    auto fresh = [&] { WriteFileAtomically(storeDir + "user.reg", original); };
    double seconds = bench::MedianSeconds(5, [&] { set.WriteRegString("InstallPath", "C:\\Games\\NewGame\\"); }, fresh);
    if (set.ReadRegString("InstallPath", "") != "C:\\Games\\NewGame\\") {
        std::fprintf(stderr, "the record was not written\n");
        return 1;
    }
    double readOnly = bench::MedianSeconds(5, [&] { set.ReadRegString("InstallPath", ""); });
    bench::Note("store of " + std::to_string(kKeys) + " keys with a value each, " + std::to_string(original.size() / 1024) +
                " KiB: record written " + std::to_string(seconds * 1000) + " ms, read " + std::to_string(readOnly * 1000) + " ms (" +
                bench::FileSystemOf(storeDir) + ")");
    bench::Report("regstore_200k_keys", seconds * 1000, "ms", "<=", 2000);
    return 0;
}
