// The names of ISO 9660 directory records as the program's CP932 names.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace tarn::media::iso {

// A Joliet name (UCS-2 big-endian bytes, an odd last byte dropped) as UTF-16;
// a file's ";1" version suffix removed.
std::u16string JolietName(std::string_view bytes, bool isFile);
// Strict CP932 for a Joliet name: false when a character has no counterpart.
// The characters that Unicode holds twice (a wave dash authored on a machine
// with the JIS mapping) are taken as the ones CP932 knows.
bool JolietToCp932(std::u16string_view name, AnsiString& cp932);
// A primary name's bytes as they stand, without the ";1" version suffix and
// without the trailing dot of a name that has no extension.
AnsiString PrimaryName(std::string_view bytes, bool isFile);
// True when every byte decodes as CP932.
bool IsCp932(std::string_view bytes);
// True when the name can be one component of a path: not empty, not "." or
// "..", no NUL and no single-byte backslash or slash.
bool UsableName(std::string_view cp932);
// The key lookups compare: ASCII letters folded in single-byte positions.
inline AnsiString FoldedName(std::string_view cp932) { return AnsiUpperCase(cp932); }

} // namespace tarn::media::iso
