// vfarc: list, read, extract, create, merge and verify VF archives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "common/tool.h"

namespace tarn::vfarc {

struct Options {
    std::string command;
    std::vector<std::string> args; // positional, after the command
    bool appended = false;
    bool json = false;
    int64_t pieceSize = TTpBigFileStream::DefaultPieceSize;
    bool hasOutput = false;
    std::string output;
    int32_t version = kVrFlagsVersion;
    std::vector<std::string> store;
    int level = 6;
    bool hasHexName = false;
    std::string hexName;
};

int List(const Options& o);
int Cat(const Options& o);
int Extract(const Options& o);
int Create(const Options& o);
int Merge(const Options& o);
int Verify(const Options& o);

// Opens an archive (file or directory) for reading with the command's settings.
void OpenForReading(TVrFileCollection& c, const Options& o, const std::string& hostPath, bool strict = true);
// The entry name a person typed (UTF-8), as CP932.
AnsiString EntryName(const std::string& utf8);

} // namespace tarn::vfarc
