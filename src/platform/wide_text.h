// Program text (CP932) for the system's UTF-16 ("wide") functions and back.
// Implemented by the Windows platform code only, where wchar_t is UTF-16:
// code outside platform/ that talks to the Windows API directly (the win32
// window backend) takes its text from here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/text.h"

namespace tarn::platform {

std::wstring Wide(std::string_view text);
AnsiString FromWide(const wchar_t* text, size_t length);
AnsiString FromWide(const std::wstring& text);

} // namespace tarn::platform
