#include "base/format.h"

#include <atomic>
#include <cmath>
#include <cstdio>

#include "base/codepage.h"
#include "base/error.h"
#include "base/messages.h"

namespace tarn {

namespace detail {
char SystemDecimalSeparator(); // from the system text layer
}

namespace {

std::atomic<char> g_separator{0};

[[noreturn]] void BadFormat(std::string_view format)
{
    throw EConvertError(msg::BadFormat, { format });
}

void Pad(AnsiString& out, const AnsiString& field, int width, bool left)
{
    int pad = width - static_cast<int>(field.size());
    if (pad > 0 && !left)
        out.append(static_cast<size_t>(pad), ' ');
    out += field;
    if (pad > 0 && left)
        out.append(static_cast<size_t>(pad), ' ');
}

AnsiString Digits(uint64_t value, int precision)
{
    AnsiString d = std::to_string(value);
    if (precision > static_cast<int>(d.size()))
        d.insert(0, static_cast<size_t>(precision) - d.size(), '0');
    return d;
}

} // namespace

char DecimalSeparator()
{
    char c = g_separator.load();
    if (c == 0) {
        c = detail::SystemDecimalSeparator();
        g_separator.store(c);
    }
    return c;
}

void SetDecimalSeparator(char separator) { g_separator.store(separator); }

AnsiString Format(std::string_view format, std::initializer_list<FormatArg> args)
{
    AnsiString out;
    out.reserve(format.size() + 16);
    const FormatArg* next = args.begin();
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        // A '%' that is the second byte of a two-byte character is text.
        if (c != '%') {
            size_t n = CharLengthAt(format, i);
            out.append(format.substr(i, n));
            i += n;
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        bool left = false;
        int width = -1, precision = -1;
        if (i < format.size() && format[i] == '-') {
            left = true;
            ++i;
        }
        while (i < format.size() && format[i] >= '0' && format[i] <= '9')
            width = (width < 0 ? 0 : width * 10) + (format[i++] - '0');
        if (i < format.size() && format[i] == '.') {
            ++i;
            precision = 0;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                precision = precision * 10 + (format[i++] - '0');
        }
        if (i >= format.size() || next == args.end() || width > 4096 || precision > 4096)
            BadFormat(format);
        char type = static_cast<char>(format[i++] | 0x20);
        const FormatArg& arg = *next++;
        AnsiString field;
        switch (type) {
        case 'd':
        case 'u':
            if (arg.kind() != FormatArg::Kind::Integer && arg.kind() != FormatArg::Kind::Unsigned)
                BadFormat(format);
            if (type == 'd' && arg.kind() == FormatArg::Kind::Integer && arg.integer() < 0)
                field = "-" + Digits(0 - static_cast<uint64_t>(arg.integer()), precision);
            else if (type == 'u' && arg.kind() == FormatArg::Kind::Integer)
                field = Digits(static_cast<uint32_t>(arg.integer()), precision);
            else
                field = Digits(arg.unsignedValue(), precision);
            break;
        case 'x': {
            if (arg.kind() != FormatArg::Kind::Integer && arg.kind() != FormatArg::Kind::Unsigned)
                BadFormat(format);
            uint64_t v = arg.unsignedValue();
            if (arg.kind() == FormatArg::Kind::Integer && arg.integer() >= INT32_MIN && arg.integer() <= UINT32_MAX)
                v = static_cast<uint32_t>(arg.integer());
            char buf[32];
            std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
            field = buf;
            if (precision > static_cast<int>(field.size()))
                field.insert(0, static_cast<size_t>(precision) - field.size(), '0');
            break;
        }
        case 'f': {
            if (arg.kind() == FormatArg::Kind::String)
                BadFormat(format);
            double v = arg.kind() == FormatArg::Kind::Float ? arg.floating() : static_cast<double>(arg.integer());
            if (precision < 0)
                precision = 2;
            if (precision > 18)
                precision = 18;
            char buf[512];
            if (!std::isfinite(v) || std::fabs(v) >= 1e300)
                std::snprintf(buf, sizeof buf, "%g", v);
            else
                std::snprintf(buf, sizeof buf, "%.*f", precision, v);
            field = buf;
            // snprintf uses the C locale's point here; put the user's separator in.
            for (char& ch : field)
                if (ch == '.')
                    ch = DecimalSeparator();
            break;
        }
        case 's':
            if (arg.kind() != FormatArg::Kind::String)
                BadFormat(format);
            field = AnsiString(arg.string());
            if (precision >= 0 && static_cast<size_t>(precision) < field.size())
                field.resize(static_cast<size_t>(precision));
            break;
        default:
            BadFormat(format);
        }
        Pad(out, field, width, left);
    }
    return out;
}

AnsiString Format(std::u8string_view format, std::initializer_list<FormatArg> args)
{
    return Format(std::string_view(Sjis(format)), args);
}

AnsiString FormatThousands(int64_t value)
{
    AnsiString digits = std::to_string(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    for (int pos = static_cast<int>(digits.size()) - 3; pos > 0; pos -= 3)
        digits.insert(static_cast<size_t>(pos), 1, ',');
    return value < 0 ? "-" + digits : digits;
}

} // namespace tarn
