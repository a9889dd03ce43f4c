#include "platform/wide_text.h"

#include "base/codepage.h"

namespace tarn::platform {

std::wstring Wide(std::string_view text)
{
    std::u16string w = AnsiToUtf16(text);
    return std::wstring(w.begin(), w.end());
}

AnsiString FromWide(const wchar_t* text, size_t length)
{
    return Utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

AnsiString FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

} // namespace tarn::platform
