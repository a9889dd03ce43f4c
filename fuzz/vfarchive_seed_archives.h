// Seed archives of the archive targets, made by the writer that vfarc create uses.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "platform/file_stream.h"
#include "vfarchive_files.h"

namespace tarn::fuzz {

// Archives of every version made by the writer that vfarc create uses.
inline std::vector<std::pair<std::string, std::string>> ArchiveSeeds()
{
    ScratchDir scratch("vfarchive-seeds");
    AnsiString name = scratch.Path() + "seed.dat";
    std::vector<std::pair<std::string, std::string>> seeds;
    auto entry = [](AnsiString n, std::string data, bool store = false) {
        TVrNewEntry e;
        e.Name = std::move(n);
        e.Data = std::move(data);
        e.Store = store;
        return e;
    };
    std::string picture;
    for (int i = 0; i < 600; ++i)
        picture += static_cast<char>(i * 31 % 256);
    std::vector<TVrNewEntry> entries = { entry("title.gal", picture), entry(Sjis(u8"背景\\bg01.gal"), "bg bg bg bg bg"),
                                         entry("empty.txt", ""), entry("Case.txt", "first"), entry("CASE.TXT", "second") };
    for (int32_t version : { 0, 100, 101 }) {
        std::vector<TVrNewEntry> list = entries;
        if (version == 101)
            list.push_back(entry("voice.ogg", "OggS stored", true));
        TVrWriteOptions options;
        options.Version = version;
        options.Sync = false;
        WriteVrArchive(name, list, options);
        std::vector<uint8_t> bytes = ReadWholeFile(name);
        seeds.push_back({ "v" + std::to_string(version) + ".dat", std::string(bytes.begin(), bytes.end()) });
    }
    // An archive at the end of a program.
    {
        auto f = platform::File::Open(name, platform::File::Mode::Create);
        f->Write("MZ program", 10);
    }
    TVrWriteOptions options;
    options.Appended = true;
    options.Sync = false;
    WriteVrArchive(name, { entry("a", "appended") }, options);
    std::vector<uint8_t> bytes = ReadWholeFile(name);
    seeds.push_back({ "appended.exe", std::string(bytes.begin(), bytes.end()) });
    WriteVrArchive(name, {}, TVrWriteOptions{});
    bytes = ReadWholeFile(name);
    seeds.push_back({ "empty.dat", std::string(bytes.begin(), bytes.end()) });
    return seeds;
}

} // namespace tarn::fuzz
