#include "media/iso_names.h"

#include "base/codepage.h"

namespace tarn::media::iso {

namespace {

// A name authored with the JIS table's choice of these characters would
// otherwise never convert, though CP932 has each of them under another code.
char16_t CP932Twin(char16_t c)
{
    switch (c) {
    case 0x301C: return 0xFF5E; // wave dash
    case 0x2016: return 0x2225; // double vertical line
    case 0x2212: return 0xFF0D; // minus sign
    case 0x00A2: return 0xFFE0; // cent
    case 0x00A3: return 0xFFE1; // pound
    case 0x00AC: return 0xFFE2; // not
    case 0x2014: return 0x2015; // em dash
    default: return c;
    }
}

std::u16string_view WithoutVersion(std::u16string_view name)
{
    size_t semi = name.rfind(u';');
    if (semi == std::u16string_view::npos)
        return name;
    for (size_t i = semi + 1; i < name.size(); ++i)
        if (name[i] < u'0' || name[i] > u'9')
            return name;
    return name.substr(0, semi);
}

} // namespace

std::u16string JolietName(std::string_view bytes, bool isFile)
{
    std::u16string name;
    name.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        name += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]));
    return isFile ? std::u16string(WithoutVersion(name)) : name;
}

bool JolietToCp932(std::u16string_view name, AnsiString& cp932)
{
    if (TryUtf8ToCp932(Utf16ToUtf8(name), cp932))
        return true;
    std::u16string twins(name);
    for (char16_t& c : twins)
        c = CP932Twin(c);
    return twins != name && TryUtf8ToCp932(Utf16ToUtf8(twins), cp932);
}

AnsiString PrimaryName(std::string_view bytes, bool isFile)
{
    AnsiString name(bytes);
    if (!isFile)
        return name;
    // ';' and '.' are never the second byte of a double-byte character.
    size_t semi = name.rfind(';');
    if (semi != AnsiString::npos && name.find_first_not_of("0123456789", semi + 1) == AnsiString::npos)
        name.resize(semi);
    if (!name.empty() && name.back() == '.' && name.find('.') == name.size() - 1)
        name.pop_back();
    return name;
}

bool IsCp932(std::string_view bytes)
{
    std::string utf8;
    return TryCp932ToUtf8(bytes, utf8);
}

bool UsableName(std::string_view cp932)
{
    if (cp932.empty() || cp932 == "." || cp932 == ".." || cp932.find('\0') != std::string_view::npos)
        return false;
    for (size_t i = 0; i < cp932.size(); i += CharLengthAt(cp932, i)) {
        char c = cp932[i];
        if (CharLengthAt(cp932, i) == 1 && (c == '\\' || c == '/'))
            return false;
    }
    return true;
}

} // namespace tarn::media::iso
