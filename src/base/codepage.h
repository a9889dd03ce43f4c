// Conversion between CP932 and Unicode through the system's code page 932
// (iconv on POSIX, MultiByteToWideChar on Windows).
//
// Two kinds of conversion:
// - Strict: for text that leaves the program as data (install.dat, archive
//   names, JSON, manifests). Fails when the text is not real CP932.
// - Host: at the operating-system boundary only (file names, registry text on
//   POSIX, command lines). A host character that CP932 cannot hold gets a slot
//   in CP932's user-defined area (0xF040-0xF9FC) for the life of the process
//   and is mapped back on the way out, so any host name round-trips.
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace tarn {

// Strict conversions; false when a character has no counterpart.
bool TryCp932ToUtf8(std::string_view cp932, std::string& utf8);
bool TryUtf8ToCp932(std::string_view utf8, AnsiString& cp932);
// Raises EConvertError ("... はシフトJISで表せない文字を含んでいます").
AnsiString Utf8ToCp932(std::string_view utf8);
// For messages to a person: bytes that are not CP932 become U+FFFD.
std::string Cp932ToUtf8Lossy(std::string_view cp932);
// True when the bytes come back unchanged through CP932 -> UTF-8 -> CP932.
bool RoundTripsCp932(std::string_view cp932);

// The program's own texts, written in the source as UTF-8 literals.
AnsiString Sjis(std::u8string_view text);

// Host conversions. nameComponent: the text is one file-name component, so a
// backslash or colon in it is a character of the name, not a separator, and
// gets a slot too (POSIX names may hold both).
std::string AnsiToHostUtf8(std::string_view ansi);
AnsiString HostUtf8ToAnsi(std::string_view utf8, bool nameComponent = false);
std::u16string AnsiToUtf16(std::string_view ansi);
AnsiString Utf16ToAnsi(std::u16string_view utf16);

// UTF-8 <-> UTF-16 without CP932 in between (for the Windows console and APIs).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

} // namespace tarn
