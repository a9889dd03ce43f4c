// mkdisc: builds a set of distribution discs from a manifest.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "common/tool_json.h"
#include "iso_image.h"

namespace tarn::mkdisc {

// A file that goes onto a disc: Dest is its path on the disc (CP932, no
// leading backslash).
struct FileInput {
    AnsiString Source;
    AnsiString Dest;
};

// A file that goes into a disc's game.dat under Name.
struct EntryInput {
    AnsiString Source;
    AnsiString Name;
    bool Stored = false;
};

struct TitleSpec {
    AnsiString Source;
    std::string Shown; // the source as the manifest names it, for messages
    AnsiString Name;   // empty: the description's TitleImage
    std::optional<int32_t> Seed;
    int32_t Version = 103;
    bool Scramble = false;
    int32_t TileWidth = 0, TileHeight = 0;
};

struct DiscSpec {
    tools::Json Install = tools::Json::object();
    std::vector<FileInput> Files;
    std::vector<EntryInput> Entries;
};

struct Manifest {
    tools::Json Install = tools::Json::object();
    std::optional<TitleSpec> Title;
    std::optional<int64_t> PieceSize;
    std::vector<DiscSpec> Discs;
};

// NAME -> host path given with --define; "${NAME}" at the start of a source
// stands for it.
using Defines = std::map<std::string, std::string>;

// Reads and checks the whole manifest, walks the source folders and resolves
// every name before anything is written. Raises ToolError naming the place.
Manifest ReadManifest(const AnsiString& path, const std::string& shown, const Defines& defines);
// The same for a manifest's text; sources are relative to dir (a folder with
// a trailing backslash), shown names the manifest in messages.
Manifest ReadManifestText(std::string_view text, const AnsiString& dir, const std::string& shown, const Defines& defines);

// What one disc holds, for the summary.
struct DiscReport {
    AnsiString Dir; // the disc's folder, or its image (the .iso, the .cue)
    size_t Files = 0, Entries = 0;
    int32_t Program = 0, Data = 0, Sound = 0, Movie = 0;
};

// Builds DIR\disc1, DIR\disc2, ... in a work directory beside DIR and puts it
// in place of DIR at the end; DIR may be missing, empty, or an earlier disc
// set. With an image format each disc becomes an image instead of a folder:
// DIR\disc1.iso, or DIR\disc1.bin with DIR\disc1.cue. On an error nothing
// under DIR has changed.
std::vector<DiscReport> BuildDiscSet(const Manifest& manifest, const AnsiString& outDir,
                                     ImageFormat image = ImageFormat::None);

} // namespace tarn::mkdisc
