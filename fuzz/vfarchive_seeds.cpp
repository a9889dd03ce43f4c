#include "fuzz_support.h"
#include "vfarchive_seed_archives.h"

namespace tarn::fuzz {

void WriteSeeds(const AnsiString& dir)
{
    for (const auto& [file, bytes] : ArchiveSeeds())
        SaveSeed(dir, file, bytes);
}

} // namespace tarn::fuzz
