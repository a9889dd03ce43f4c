// Writing a new archive from files or bytes: every entry zlib-compressed
// unless it is to be stored, in the order given.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/big_stream.h"
#include "base/text.h"

namespace tarn {

struct TVrNewEntry {
    AnsiString Name;
    // The content is this file's, or, when it is empty, Data.
    AnsiString SourceFile;
    std::string Data;
    // Kept uncompressed (needs version 101 or above).
    bool Store = false;
};

struct TVrWriteOptions {
    // 0: no magic, plain directory; 1-99: magic, plain; 100: scrambled;
    // 101 and above: scrambled, with the table of stored flags.
    int32_t Version = 101;
    int Level = 6;
    int64_t PieceSize = TTpBigFileStream::DefaultPieceSize;
    // The new archive is put on the disk before it replaces an old one.
    bool Sync = true;
    // fileName is a program: the archive goes after its bytes, and the
    // archive's start into the last 4 bytes, where readers look for it.
    bool Appended = false;
    // After every entry: its index and the content bytes read so far in all.
    std::function<void(size_t index, int64_t contentDone)> OnProgress;
};

// Builds the archive in the work file beside fileName and then puts it in
// place of any archive of that name (see ReplaceArchive). Raises
// EVrArchiveError for entries the format cannot hold (an empty name, stored
// entries below version 101, data past 2^31 - 1) and the file errors; on
// every error fileName is left as it was and the work file is removed.
void WriteVrArchive(const AnsiString& fileName, const std::vector<TVrNewEntry>& entries, const TVrWriteOptions& options = {});

} // namespace tarn
