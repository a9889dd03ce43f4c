// Format with the system's format-string rules (%s, %d, %u, %x, %f with
// width and precision, %%), and the thousands grouping of the wizard.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "base/text.h"

namespace tarn {

class FormatArg {
public:
    enum class Kind { Integer, Unsigned, Float, String };
    FormatArg(int v) : kind_(Kind::Integer), i_(v) { }
    FormatArg(long v) : kind_(Kind::Integer), i_(v) { }
    FormatArg(long long v) : kind_(Kind::Integer), i_(v) { }
    FormatArg(unsigned v) : kind_(Kind::Unsigned), u_(v) { }
    FormatArg(unsigned long v) : kind_(Kind::Unsigned), u_(v) { }
    FormatArg(unsigned long long v) : kind_(Kind::Unsigned), u_(v) { }
    FormatArg(double v) : kind_(Kind::Float), f_(v) { }
    FormatArg(std::string_view s) : kind_(Kind::String), s_(s) { }
    FormatArg(const AnsiString& s) : kind_(Kind::String), s_(s) { }
    FormatArg(const char* s) : kind_(Kind::String), s_(s) { }

    Kind kind() const { return kind_; }
    int64_t integer() const { return kind_ == Kind::Unsigned ? static_cast<int64_t>(u_) : i_; }
    uint64_t unsignedValue() const { return kind_ == Kind::Unsigned ? u_ : static_cast<uint64_t>(i_); }
    double floating() const { return f_; }
    std::string_view string() const { return s_; }

private:
    Kind kind_;
    int64_t i_ = 0;
    uint64_t u_ = 0;
    double f_ = 0;
    std::string_view s_;
};

// Formats CP932 text. A specifier that does not fit its argument (or a
// missing argument) raises EConvertError.
AnsiString Format(std::string_view format, std::initializer_list<FormatArg> args);
// The same with a UTF-8 format string of the program's own (converted to CP932 first).
AnsiString Format(std::u8string_view format, std::initializer_list<FormatArg> args);

// Decimal text with a comma between groups of three digits: 1234567 -> 1,234,567.
// A negative number keeps its minus sign in front of the grouped digits.
AnsiString FormatThousands(int64_t value);

// The decimal separator that %f uses: the user's locale's (a point in the
// Japanese and C locales). Tests may override it.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

} // namespace tarn
