#include "fuzz_support.h"
#include "vfarchive_seed_archives.h"

namespace tarn::fuzz {

// The same archives, whole (first byte 0) and in pieces of 64 and 1024 bytes.
void WriteSeeds(const AnsiString& dir)
{
    for (const auto& [file, bytes] : ArchiveSeeds())
        for (char piece : { char(0), char(1), char(3) })
            SaveSeed(dir, std::to_string(int(piece)) + "-" + file, std::string(1, piece) + bytes);
}

} // namespace tarn::fuzz
