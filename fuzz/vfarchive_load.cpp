// Loading entries: the first byte picks the piece size (one file, or pieces
// of 64, 256 or 1024 bytes), the rest is the archive. Every entry either
// loads or raises its error, and an entry whose bytes are one complete zlib
// stream by the independent check always loads.
#include <cstdlib>

#include "archive/vr_files.h"
#include "base/error.h"
#include "fuzz_support.h"
#include "vfarchive_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    if (size < 1)
        return 0;
    static fuzz::ScratchDir scratch("vfarchive-load");
    const int64_t sizes[] = { 0, 64, 256, 1024 };
    int64_t piece = sizes[data[0] % 4];
    AnsiString name = scratch.WriteArchive(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), piece);
    TVrFileCollection c;
    c.PieceSize = piece > 0 ? piece : TTpBigFileStream::DefaultPieceSize;
    c.MaxEntrySize = 1 << 22;
    try {
        c.Open(name);
    } catch (const Exception&) {
        return 0;
    }
    TMemoryStream m;
    for (int32_t i = 0; i < c.Count(); ++i) {
        const TVrFile& f = c.Items(i);
        bool sound = f.Stored != 0 || f.Size == 0 || CheckZlibBytes(*c.Stream, f.Offset, f.Size).empty();
        try {
            c.LoadEntry(m, f.Name());
            if (m.GetPosition() != 0)
                std::abort();
        } catch (const EVrArchiveError&) {
            // An input of a few kilobytes cannot inflate past the limit.
            if (sound && f.Size < 4000 && c.IndexOf(f.Name()) == i)
                std::abort();
            if (m.GetSize() != 0)
                std::abort();
        } catch (const Exception&) {
        }
    }
    return 0;
}
