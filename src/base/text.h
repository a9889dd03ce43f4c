// CP932 (Shift-JIS) byte strings: character walking and ASCII-only case folding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Every text of the program: CP932 bytes, kept exactly as read.
using AnsiString = std::string;
using StringList = std::vector<AnsiString>;

// Lead bytes of a two-byte CP932 character.
constexpr bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length of the character that starts at byte index i (2 for a lead byte
// followed by another byte, else 1).
inline size_t CharLengthAt(std::string_view s, size_t i)
{
    return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// True when byte index i starts a character (is not the second byte of a
// two-byte character). Walks from the start of the string.
bool IsCharStart(std::string_view s, size_t i);

// Index of the last single-byte character of s that occurs in delims, or npos.
size_t LastDelimiter(std::string_view delims, std::string_view s);

// ASCII letters folded in single-byte positions only; the byte length never changes.
AnsiString AnsiLowerCase(std::string_view s);
AnsiString AnsiUpperCase(std::string_view s);
// Case-insensitive comparison under that folding (<0, 0, >0 by folded bytes).
int CompareText(std::string_view a, std::string_view b);
inline bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

// Decimal text of a number.
AnsiString IntToStr(int64_t value);

} // namespace tarn
