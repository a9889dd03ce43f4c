// Encoding of the archive directory, shared by the merge and the writer.
#pragma once

#include <cstdint>
#include <vector>

#include "base/byte_reader.h"
#include "base/text.h"

namespace tarn {

// "vf" and the version (none for version 0), then the count.
void AppendVrHeader(ByteWriter& out, int32_t version, int32_t count);
// Length and bytes of every name; the bytes XORed with one running
// generator from version 100 on.
void AppendVrNames(ByteWriter& out, const std::vector<const AnsiString*>& names, int32_t version);
// The offset table, each value XORed with its own generator value from version 100 on.
void AppendVrOffsets(ByteWriter& out, const std::vector<int32_t>& offsets, int32_t version);
// Bytes of the header and names that AppendVrHeader and AppendVrNames write.
int64_t VrDirectoryHeadSize(int32_t version, const std::vector<const AnsiString*>& names);

} // namespace tarn
