#include "base/codepage.h"

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/error.h"
#include "base/messages.h"

namespace tarn {

namespace detail {
// The system's own code page 932 codec, one character at a time (system_text_*.cpp).
bool SystemDecodeCp932(const unsigned char* bytes, size_t count, char16_t& out);
bool SystemEncodeCp932(char16_t ch, unsigned char out[2], size_t& count);
} // namespace detail

namespace {

// Conversion tables built once from the system codec, so that every later
// conversion is a table lookup with exactly the system's mapping.
struct Tables {
    std::vector<char16_t> decode = std::vector<char16_t>(65536);
    std::vector<uint8_t> decodeValid = std::vector<uint8_t>(65536);
    std::vector<uint16_t> encode = std::vector<uint16_t>(65536);
    std::vector<uint8_t> encodeValid = std::vector<uint8_t>(65536);
};

const Tables& GetTables()
{
    static const Tables* tables = [] {
        auto* t = new Tables;
        std::vector<uint16_t> codes;
        for (unsigned b = 0; b < 256; ++b) {
            if (IsLeadByte(static_cast<unsigned char>(b)))
                continue;
            unsigned char c = static_cast<unsigned char>(b);
            char16_t u;
            if (detail::SystemDecodeCp932(&c, 1, u)) {
                t->decode[b] = u;
                t->decodeValid[b] = 1;
                codes.push_back(static_cast<uint16_t>(b));
            }
        }
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                unsigned char c[2] = { static_cast<unsigned char>(lead), static_cast<unsigned char>(trail) };
                char16_t u;
                if (detail::SystemDecodeCp932(c, 2, u)) {
                    uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
                    t->decode[code] = u;
                    t->decodeValid[code] = 1;
                    codes.push_back(code);
                }
            }
        }
        // Where several codes give one character, the system encoder picks the code.
        for (uint16_t code : codes) {
            char16_t u = t->decode[code];
            if (t->encodeValid[u])
                continue;
            unsigned char out[2];
            size_t n = 0;
            uint16_t chosen = code;
            if (detail::SystemEncodeCp932(u, out, n)) {
                uint16_t c = n == 1 ? out[0] : static_cast<uint16_t>(out[0] << 8 | out[1]);
                if (t->decodeValid[c] && t->decode[c] == u)
                    chosen = c;
            }
            t->encode[u] = chosen;
            t->encodeValid[u] = 1;
        }
        return t;
    }();
    return *tables;
}

struct Cp932Char {
    uint16_t code;
    uint8_t length;
    bool valid;
};

inline Cp932Char NextChar(const Tables& t, std::string_view s, size_t i)
{
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(b) && i + 1 < s.size()) {
        uint16_t code = static_cast<uint16_t>(b << 8 | static_cast<unsigned char>(s[i + 1]));
        if (t.decodeValid[code])
            return { code, 2, true };
        return { b, 1, false };
    }
    return { b, 1, t.decodeValid[b] != 0 };
}

inline void AppendCode(AnsiString& out, uint16_t code)
{
    if (code > 0xFF)
        out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at i; false (length 1) for an invalid byte.
bool DecodeUtf8(std::string_view s, size_t i, char32_t& cp, size_t& length)
{
    unsigned char b = static_cast<unsigned char>(s[i]);
    length = 1;
    if (b < 0x80) {
        cp = b;
        return true;
    }
    size_t n;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        n = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + n > s.size())
        return false;
    for (size_t k = 1; k < n; ++k) {
        unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    length = n;
    return true;
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// ---- process-lifetime slots in the user-defined area ----

constexpr uint16_t kUdaLast = 0xF9FC;
constexpr char32_t kRawByteUnit = 0x110000; // + the byte: an invalid byte of a host name
constexpr char32_t kPuaFirst = 0xE000, kPuaLast = 0xE757; // the standard image of the area

bool IsUdaCode(uint16_t code)
{
    unsigned lead = code >> 8, trail = code & 0xFF;
    return lead >= 0xF0 && lead <= 0xF9 && trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
}

uint16_t PreviousUdaCode(uint16_t code)
{
    unsigned lead = code >> 8, trail = code & 0xFF;
    if (trail == 0x80)
        trail = 0x7E;
    else if (trail > 0x40)
        --trail;
    else if (lead > 0xF0)
        --lead, trail = 0xFC;
    else
        return 0;
    return static_cast<uint16_t>(lead << 8 | trail);
}

struct Slots {
    std::mutex lock;
    std::unordered_map<char32_t, uint16_t> byUnit;
    std::unordered_map<uint16_t, char32_t> bySlot;
    std::unordered_set<uint16_t> ownMapping; // slots of private-use characters met in host text
    uint16_t next = kUdaLast;
    std::atomic<bool> any{ false };

    uint16_t Allocate(char32_t unit)
    {
        auto it = byUnit.find(unit);
        if (it != byUnit.end())
            return it->second;
        while (next != 0 && (bySlot.count(next) || ownMapping.count(next)))
            next = PreviousUdaCode(next);
        if (next == 0)
            throw EConvertError(msg::NotCp932, { "?" });
        uint16_t slot = next;
        byUnit.emplace(unit, slot);
        bySlot.emplace(slot, unit);
        any.store(true);
        return slot;
    }
};

Slots& GetSlots()
{
    static Slots* slots = new Slots;
    return *slots;
}

uint16_t SlotFor(char32_t unit)
{
    Slots& s = GetSlots();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.Allocate(unit);
}

// A private-use character keeps its own code unless a slot already took it.
uint16_t OwnCodeOrSlot(char32_t pua, uint16_t own)
{
    Slots& s = GetSlots();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.byUnit.find(pua);
    if (it != s.byUnit.end())
        return it->second;
    if (!s.bySlot.count(own)) {
        s.ownMapping.insert(own);
        return own;
    }
    return s.Allocate(pua);
}

bool UnitOfSlot(uint16_t code, char32_t& unit)
{
    Slots& s = GetSlots();
    if (!s.any.load() || !IsUdaCode(code))
        return false;
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.bySlot.find(code);
    if (it == s.bySlot.end())
        return false;
    unit = it->second;
    return true;
}

// Host character -> CP932 code, allocating a slot when CP932 cannot hold it.
uint16_t HostCode(const Tables& t, char32_t cp)
{
    if (cp < 0x10000 && t.encodeValid[cp]) {
        uint16_t code = t.encode[cp];
        if (cp >= kPuaFirst && cp <= kPuaLast && IsUdaCode(code))
            return OwnCodeOrSlot(cp, code);
        return code;
    }
    return SlotFor(cp);
}

bool AllAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

bool TryCp932ToUtf8(std::string_view cp932, std::string& utf8)
{
    utf8.clear();
    if (AllAscii(cp932)) {
        utf8.assign(cp932);
        return true;
    }
    const Tables& t = GetTables();
    utf8.reserve(cp932.size() * 3 / 2);
    for (size_t i = 0; i < cp932.size();) {
        Cp932Char c = NextChar(t, cp932, i);
        if (!c.valid)
            return false;
        AppendUtf8(utf8, t.decode[c.code]);
        i += c.length;
    }
    return true;
}

bool TryUtf8ToCp932(std::string_view utf8, AnsiString& cp932)
{
    cp932.clear();
    if (AllAscii(utf8)) {
        cp932.assign(utf8);
        return true;
    }
    const Tables& t = GetTables();
    cp932.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t n;
        if (!DecodeUtf8(utf8, i, cp, n) || cp >= 0x10000 || !t.encodeValid[cp])
            return false;
        AppendCode(cp932, t.encode[cp]);
        i += n;
    }
    return true;
}

AnsiString Utf8ToCp932(std::string_view utf8)
{
    AnsiString out;
    if (!TryUtf8ToCp932(utf8, out)) {
        // The message shows the text itself, with what cannot be held replaced.
        std::string shown;
        const Tables& t = GetTables();
        for (size_t i = 0; i < utf8.size();) {
            char32_t cp;
            size_t n;
            bool ok = DecodeUtf8(utf8, i, cp, n);
            if (ok && cp < 0x10000 && t.encodeValid[cp])
                AppendCode(shown, t.encode[cp]);
            else
                shown += '?';
            i += n;
        }
        throw EConvertError(msg::NotCp932, { shown });
    }
    return out;
}

std::string Cp932ToUtf8Lossy(std::string_view cp932)
{
    std::string out;
    if (TryCp932ToUtf8(cp932, out))
        return out;
    const Tables& t = GetTables();
    out.clear();
    for (size_t i = 0; i < cp932.size();) {
        Cp932Char c = NextChar(t, cp932, i);
        AppendUtf8(out, c.valid ? static_cast<char32_t>(t.decode[c.code]) : 0xFFFD);
        i += c.length;
    }
    return out;
}

bool RoundTripsCp932(std::string_view cp932)
{
    std::string utf8;
    AnsiString back;
    return TryCp932ToUtf8(cp932, utf8) && TryUtf8ToCp932(utf8, back) && back == cp932;
}

AnsiString Sjis(std::u8string_view text)
{
    return Utf8ToCp932(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

std::string AnsiToHostUtf8(std::string_view ansi)
{
    if (AllAscii(ansi))
        return std::string(ansi);
    const Tables& t = GetTables();
    std::string out;
    out.reserve(ansi.size() * 3 / 2);
    for (size_t i = 0; i < ansi.size();) {
        Cp932Char c = NextChar(t, ansi, i);
        char32_t unit;
        if (!c.valid)
            out += ansi[i]; // not CP932: the byte goes through as it is
        else if (UnitOfSlot(c.code, unit) && unit >= kRawByteUnit)
            out += static_cast<char>(unit - kRawByteUnit);
        else if (UnitOfSlot(c.code, unit))
            AppendUtf8(out, unit);
        else
            AppendUtf8(out, t.decode[c.code]);
        i += c.length;
    }
    return out;
}

AnsiString HostUtf8ToAnsi(std::string_view utf8, bool nameComponent)
{
    if (AllAscii(utf8) && (!nameComponent || utf8.find_first_of("\\:") == std::string_view::npos))
        return AnsiString(utf8);
    const Tables& t = GetTables();
    AnsiString out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t n;
        if (!DecodeUtf8(utf8, i, cp, n))
            AppendCode(out, SlotFor(kRawByteUnit + static_cast<unsigned char>(utf8[i])));
        else if (nameComponent && (cp == '\\' || cp == ':'))
            AppendCode(out, SlotFor(cp));
        else
            AppendCode(out, HostCode(t, cp));
        i += n;
    }
    return out;
}

std::u16string AnsiToUtf16(std::string_view ansi)
{
    std::u16string out;
    out.reserve(ansi.size());
    if (AllAscii(ansi)) {
        for (char c : ansi)
            out += static_cast<char16_t>(c);
        return out;
    }
    const Tables& t = GetTables();
    for (size_t i = 0; i < ansi.size();) {
        Cp932Char c = NextChar(t, ansi, i);
        char32_t unit;
        if (!c.valid)
            out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(ansi[i])); // escaped byte
        else if (UnitOfSlot(c.code, unit))
            AppendUtf16(out, unit >= kRawByteUnit ? 0xDC00 + (unit - kRawByteUnit) : unit);
        else
            out += t.decode[c.code];
        i += c.length;
    }
    return out;
}

AnsiString Utf16ToAnsi(std::u16string_view utf16)
{
    const Tables& t = GetTables();
    AnsiString out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t u = utf16[i];
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            AppendCode(out, SlotFor(cp));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - 0xDC00); // a byte escaped by AnsiToUtf16
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendCode(out, SlotFor(u));
        } else {
            AppendCode(out, HostCode(t, u));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t n;
        if (!DecodeUtf8(utf8, i, cp, n))
            cp = 0xFFFD;
        AppendUtf16(out, cp);
        i += n;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size() * 3 / 2);
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        AppendUtf8(out, u);
    }
    return out;
}

} // namespace tarn
