// The archive directory reader: any file either opens into a directory whose
// entries all lie inside the file, in order, or raises its error; read
// without checks it never crashes either.
#include <cstdlib>

#include "archive/vr_files.h"
#include "base/error.h"
#include "fuzz_support.h"
#include "vfarchive_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    static fuzz::ScratchDir scratch("vfarchive");
    AnsiString name = scratch.WriteArchive(std::string_view(reinterpret_cast<const char*>(data), size));
    for (int mode = 0; mode < 3; ++mode) {
        TVrFileCollection c;
        c.Appended = mode == 1;
        c.StrictDirectory = mode != 2;
        try {
            c.Open(name);
        } catch (const Exception&) {
            if (c.Count() != 0 || c.Stream)
                std::abort();
            continue;
        }
        if (c.Count() == 0)
            continue;
        int64_t fileSize = static_cast<int64_t>(size);
        const TVrFile& end = c.Items(c.Count() - 1);
        if (end.Name() != kVrEndMarker || end.Size != 0)
            std::abort();
        for (int32_t i = 0; i < c.Count(); ++i) {
            const TVrFile& f = c.Items(i);
            // Of names that compare equal the later one is found, never an earlier one.
            int32_t found = c.IndexOf(f.Name());
            if (found < i || !SameText(c.Items(found).Name(), f.Name()))
                std::abort();
            if (mode == 2)
                continue;
            if (f.Offset < 0 || f.Offset > fileSize || (i + 1 < c.Count() && f.Offset + int64_t(f.Size) > fileSize) || f.Size < 0)
                std::abort();
        }
    }
    return 0;
}
