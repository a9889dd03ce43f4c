#include "archive/vr_format.h"

#include "archive/tp_random.h"
#include "archive/vr_files.h"

namespace tarn {

void AppendVrHeader(ByteWriter& out, int32_t version, int32_t count)
{
    if (version != 0) {
        out.Bytes("vf", 2);
        out.I32(version);
    }
    out.I32(count);
}

void AppendVrNames(ByteWriter& out, const std::vector<const AnsiString*>& names, int32_t version)
{
    TTpRandom key(kVrArchiveSeed);
    bool scrambled = version >= kVrScrambledVersion;
    for (const AnsiString* name : names) {
        out.I32(static_cast<int32_t>(name->size()));
        size_t at = out.Size();
        out.Bytes(*name);
        if (scrambled)
            for (size_t i = at; i < out.Size(); ++i)
                out.Data()[i] = static_cast<char>(static_cast<uint8_t>(out.Data()[i]) ^ static_cast<uint8_t>(key.Next()));
    }
}

void AppendVrOffsets(ByteWriter& out, const std::vector<int32_t>& offsets, int32_t version)
{
    TTpRandom key(kVrArchiveSeed);
    bool scrambled = version >= kVrScrambledVersion;
    for (int32_t offset : offsets)
        out.U32(scrambled ? static_cast<uint32_t>(offset) ^ key.Next() : static_cast<uint32_t>(offset));
}

int64_t VrDirectoryHeadSize(int32_t version, const std::vector<const AnsiString*>& names)
{
    int64_t size = version != 0 ? 10 : 4;
    for (const AnsiString* name : names)
        size += 4 + static_cast<int64_t>(name->size());
    return size;
}

} // namespace tarn
