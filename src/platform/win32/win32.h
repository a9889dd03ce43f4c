// Helpers shared by the Windows implementation files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/codepage.h"

namespace tarn::platform {

// A program path as the W functions take it.
inline std::wstring Wide(std::string_view path)
{
    std::u16string w = AnsiToUtf16(path);
    return std::wstring(w.begin(), w.end());
}

inline AnsiString FromWide(const wchar_t* text, size_t length)
{
    return Utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

inline AnsiString FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

} // namespace tarn::platform
