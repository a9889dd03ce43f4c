// Conventions every tool shares: UTF-8 arguments, exit status 0 (success),
// 1 (bad input or failed operation, message on stderr) and 2 (wrong usage),
// number parsing, CP932 text for people, and a progress bar on a terminal.
// The command line itself is read in common/command_line.h, JSON in
// common/tool_json.h.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarn::tools {

// Wrong usage: exit status 2.
class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A bad input found by the tool itself: exit status 1.
class ToolError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs body with the arguments (UTF-8, without the program name) and turns
// errors into messages and exit codes: the program's own errors and ToolError
// exit 1, UsageError 2 (with a hint to --help).
int RunTool(const char* name, int argc, char** argv, const std::function<int(std::vector<std::string>&)>& body);

void Out(std::string_view utf8);
void Err(std::string_view utf8);

// Numbers: decimal with an optional minus sign, or 0x hexadecimal. Raises
// ToolError naming what when the text is no number or out of range.
int64_t ParseInteger(const std::string& text, const std::string& what, int64_t min, int64_t max);
// Any 32-bit value: -2147483648 .. 4294967295 (the same 32 bits) or 0x....
int32_t ParseSeed(const std::string& text, const std::string& what);

// A host path from the command line as a program path.
AnsiString PathArg(const std::string& host);

// A name from an archive or a disc (CP932) split into the components it may
// have below a directory: at backslashes (not the second byte of a two-byte
// character) and slashes; no absolute name, drive or stream colon, no
// component of only dots and blanks ("..", and what Windows would shorten to
// it), no control bytes, and every component real CP932. Empty when it is
// not safe to write.
std::vector<std::string> SafeComponents(const AnsiString& name);

// CP932 bytes for a person (lossy).
std::string Utf8Of(const AnsiString& cp932);
std::string HexOf(std::string_view bytes);
// Hex digits (either case, even count) to bytes; ToolError otherwise.
std::string BytesOfHex(const std::string& hex, const std::string& what);

// A one-line progress bar on standard error, shown only on a terminal.
class Progress {
public:
    Progress(std::string label, int64_t total);
    ~Progress();
    void Update(int64_t done);

private:
    std::string label_;
    int64_t total_;
    int lastShown_ = -1;
    bool active_;
};

} // namespace tarn::tools
