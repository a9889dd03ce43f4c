// Text for a log line or a terminal that cannot pass for anything else: no
// byte of it can end the line, move the cursor or recolour what follows, so
// a name read from a file cannot forge a line of its own.
//
// Written as \xHH (two lowercase hex digits, one escape per byte):
// - the controls U+0000-U+001F and U+007F, the C1 controls U+0080-U+009F and
//   the line and paragraph separators U+2028 and U+2029 (their UTF-8 bytes);
// - every byte that is not part of well-formed UTF-8: a stray continuation
//   byte, a cut sequence, an overlong form, a surrogate, anything above U+10FFFF.
// Everything else is itself. A backslash is written \\ only where the output
// would otherwise go on with a backslash or an 'x' after it; everywhere else
// it stays single, so C:\Games\Game\ reads as it is.
//
// The output reads back to exactly one input: from the left, \\ is one
// backslash, \x and two hex digits one byte, any other backslash itself.
// (C:\x86 is written C:\\x86, a\<newline> a\\\x0a, \\server \\\server.)
#pragma once

#include <string>
#include <string_view>

namespace tarn {

std::string EscapeForLog(std::string_view utf8);

// The same for CP932 text (an AnsiString): its characters are written in
// UTF-8, and \xHH gives the CP932 byte of whatever is written escaped: a
// control, a byte that is no character of code page 932, or a code whose
// character converts back to another code (of the NEC and IBM duplicates,
// the one not chosen), so that the output still reads back to the input.
std::string EscapeCp932ForLog(std::string_view cp932);

} // namespace tarn
