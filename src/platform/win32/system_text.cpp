// The system's code page 932 codec and number format on Windows. Compiled into
// the base library: base converts text through it. Code page 932 is asked for
// by number, so the program works the same under any system locale.
#include <windows.h>

#include "base/text.h"

namespace tarn::detail {

bool SystemDecodeCp932(const unsigned char* bytes, size_t count, char16_t& out)
{
    wchar_t buf[4];
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                static_cast<int>(count), buf, 4);
    if (n != 1)
        return false;
    out = static_cast<char16_t>(buf[0]);
    return true;
}

bool SystemEncodeCp932(char16_t ch, unsigned char out[2], size_t& count)
{
    wchar_t in = static_cast<wchar_t>(ch);
    char buf[4];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, buf, 4, nullptr, &usedDefault);
    if (n < 1 || n > 2 || usedDefault)
        return false;
    out[0] = static_cast<unsigned char>(buf[0]);
    if (n == 2)
        out[1] = static_cast<unsigned char>(buf[1]);
    count = static_cast<size_t>(n);
    return true;
}

char SystemDecimalSeparator()
{
    wchar_t buf[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) > 0 && buf[0] && buf[0] < 0x80 && !buf[1])
        return static_cast<char>(buf[0]);
    return '.';
}

} // namespace tarn::detail
