// The files a fuzzed manifest can name: the target builds this tree in a
// scratch folder of its own, and the seeds name its files, so that manifests
// get past "no such file" to the checks behind it.
#pragma once

namespace tarn::fuzz {

// Paths below the scratch folder; '/' separates folders.
inline const char* const kManifestSources[] = {
    "title.bmp",
    "setup.exe",
    "game.exe",
    "disc1/readme.txt",
    "disc1/bgm/a.mp3",
    "disc1/movie/op.mpg",
    "disc2/notes.txt",
    "setup/dxsetup.txt",
    "setup/mp71.txt",
    "data/disc1/scenario/a.txt",
    "data/disc1/system/b.txt",
    "data/disc1/graphics/c.bmp",
    "data/disc2/scenario/d.txt",
    "data/disc2/graphics/e.bmp",
};

// What mkdisc --define NAME=PATH gives, PATH below the scratch folder (the
// names examples/sample/manifest.json uses).
struct ManifestDefine {
    const char* Name;
    const char* Path;
};
inline const ManifestDefine kManifestDefines[] = {
    { "title", "title.bmp" },
    { "setup", "setup.exe" },
    { "game", "game.exe" },
    { "data", "data" },
};

} // namespace tarn::fuzz
