// The system's code page 932 codec and number format on POSIX (iconv and the
// user's locale). Compiled into the base library: base converts text through it.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "base/text.h"

namespace tarn::detail {

namespace {

iconv_t Open(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    return cd;
}

bool Convert(iconv_t cd, const void* in, size_t inBytes, void* out, size_t outCapacity, size_t& outBytes)
{
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(static_cast<const char*>(in));
    char* outPtr = static_cast<char*>(out);
    size_t inLeft = inBytes, outLeft = outCapacity;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return false;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1))
        return false;
    outBytes = outCapacity - outLeft;
    return true;
}

} // namespace

bool SystemDecodeCp932(const unsigned char* bytes, size_t count, char16_t& out)
{
    static iconv_t cd = Open("UTF-16LE", "CP932");
    unsigned char buf[8];
    size_t n = 0;
    if (!Convert(cd, bytes, count, buf, sizeof buf, n) || n != 2)
        return false;
    out = static_cast<char16_t>(buf[0] | buf[1] << 8);
    return true;
}

bool SystemEncodeCp932(char16_t ch, unsigned char out[2], size_t& count)
{
    static iconv_t cd = Open("CP932", "UTF-16LE");
    unsigned char in[2] = { static_cast<unsigned char>(ch & 0xFF), static_cast<unsigned char>(ch >> 8) };
    unsigned char buf[8];
    size_t n = 0;
    if (!Convert(cd, in, 2, buf, sizeof buf, n) || n < 1 || n > 2)
        return false;
    std::memcpy(out, buf, n);
    count = n;
    return true;
}

char SystemDecimalSeparator()
{
    // The user's locale as the environment names it, without touching the
    // process-wide locale (which stays "C" for every other conversion).
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0))
        return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    char c = (radix && radix[0] && !radix[1] && static_cast<unsigned char>(radix[0]) < 0x80) ? radix[0] : '.';
    freelocale(loc);
    return c;
}

} // namespace tarn::detail
