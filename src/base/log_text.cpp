#include "base/log_text.h"

#include "base/codepage.h"
#include "base/text.h"

namespace tarn {

namespace {

// Builds the output one piece at a time. A backslash waits for the next
// piece, which decides whether it has to be doubled.
class EscapedText {
public:
    void Literal(std::string_view bytes)
    {
        if (bytes.empty())
            return;
        Settle(bytes[0] == '\\' || bytes[0] == 'x');
        if (bytes == "\\")
            pendingBackslash_ = true;
        else
            out_ += bytes;
    }
    void Escaped(std::string_view bytes)
    {
        static const char hex[] = "0123456789abcdef";
        Settle(true);
        for (unsigned char c : bytes) {
            out_ += "\\x";
            out_ += hex[c >> 4];
            out_ += hex[c & 15];
        }
    }
    std::string Finish()
    {
        Settle(false);
        return std::move(out_);
    }

private:
    void Settle(bool nextReadsAsEscape)
    {
        if (pendingBackslash_)
            out_ += nextReadsAsEscape ? "\\\\" : "\\";
        pendingBackslash_ = false;
    }

    std::string out_;
    bool pendingBackslash_ = false;
};

bool NeedsEscape(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029; }

// Length of the well-formed UTF-8 sequence at s[i] and its code point; 0
// when the byte there starts none.
size_t Utf8SequenceAt(std::string_view s, size_t i, char32_t& cp)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b = byte(i);
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
        if (b == 0xE0)
            low = 0xA0; // shorter forms are overlong
        if (b == 0xED)
            high = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
        if (b == 0xF0)
            low = 0x90;
        if (b == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        unsigned char c = byte(i + k);
        if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF))
            return 0;
        cp = cp << 6 | (c & 0x3F);
    }
    return length;
}

} // namespace

std::string EscapeForLog(std::string_view utf8)
{
    EscapedText out;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        size_t n = Utf8SequenceAt(utf8, i, cp);
        if (n == 0) {
            out.Escaped(utf8.substr(i, 1));
            ++i;
            continue;
        }
        if (NeedsEscape(cp))
            out.Escaped(utf8.substr(i, n));
        else
            out.Literal(utf8.substr(i, n));
        i += n;
    }
    return out.Finish();
}

std::string EscapeCp932ForLog(std::string_view cp932)
{
    EscapedText out;
    std::string text;
    AnsiString back;
    for (size_t i = 0; i < cp932.size();) {
        size_t n = CharLengthAt(cp932, i);
        bool decodes = TryCp932ToUtf8(cp932.substr(i, n), text);
        // A lead byte whose pair is no character is a byte of its own, as
        // the codec reads it; the byte after it starts the next character.
        if (!decodes && n == 2) {
            n = 1;
            decodes = TryCp932ToUtf8(cp932.substr(i, n), text);
        }
        // Text only where it converts back to these bytes: of two codes for
        // one character, the one the encoder does not choose stays bytes.
        bool asText = decodes && TryUtf8ToCp932(text, back) && back == cp932.substr(i, n);
        char32_t cp = 0;
        if (!asText || text.empty() || Utf8SequenceAt(text, 0, cp) != text.size() || NeedsEscape(cp))
            out.Escaped(cp932.substr(i, n));
        else
            out.Literal(text);
        i += n;
    }
    return out.Finish();
}

} // namespace tarn
