#include "base/text.h"

namespace tarn {

bool IsCharStart(std::string_view s, size_t i)
{
    size_t pos = 0;
    while (pos < i)
        pos += CharLengthAt(s, pos);
    return pos == i;
}

size_t LastDelimiter(std::string_view delims, std::string_view s)
{
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < s.size(); i += CharLengthAt(s, i)) {
        if (delims.find(s[i]) != std::string_view::npos && CharLengthAt(s, i) == 1)
            found = i;
    }
    return found;
}

namespace {

template <typename Fold>
AnsiString FoldCase(std::string_view s, Fold fold)
{
    AnsiString out(s);
    for (size_t i = 0; i < out.size();) {
        size_t n = CharLengthAt(out, i);
        if (n == 1)
            out[i] = fold(out[i]);
        i += n;
    }
    return out;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

} // namespace

AnsiString AnsiLowerCase(std::string_view s) { return FoldCase(s, Lower); }
AnsiString AnsiUpperCase(std::string_view s) { return FoldCase(s, Upper); }

int CompareText(std::string_view a, std::string_view b)
{
    // Folding only ever touches single-byte positions, and a lead byte is
    // never an ASCII letter, so walking both strings in step is enough.
    size_t n = a.size() < b.size() ? a.size() : b.size();
    bool trailA = false, trailB = false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        unsigned char fa = trailA ? ca : static_cast<unsigned char>(Lower(char(ca)));
        unsigned char fb = trailB ? cb : static_cast<unsigned char>(Lower(char(cb)));
        if (fa != fb)
            return fa < fb ? -1 : 1;
        trailA = !trailA && IsLeadByte(ca);
        trailB = !trailB && IsLeadByte(cb);
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

AnsiString IntToStr(int64_t value) { return std::to_string(value); }

} // namespace tarn
