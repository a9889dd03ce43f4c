// Errors are exceptions that carry the program's own message in CP932.
#pragma once

#include <exception>
#include <initializer_list>

#include "base/format.h"
#include "base/text.h"

namespace tarn {

class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : message_(std::move(message)) { }
    // A message given as UTF-8 source text with Format arguments.
    Exception(std::u8string_view format, std::initializer_list<FormatArg> args);

    const AnsiString& Message() const { return message_; }
    // The CP932 bytes; tools convert with Cp932ToUtf8Lossy before printing.
    const char* what() const noexcept override { return message_.c_str(); }

private:
    AnsiString message_;
};

// Stream and file errors ("ストリームからの読み込みエラー", "ファイル %s は開けません", ...).
class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };
// Text that cannot be converted or formatted.
class EConvertError : public Exception { using Exception::Exception; };
// Registry access.
class ERegistryException : public Exception { using Exception::Exception; };
// An index outside a list.
class EListError : public Exception { using Exception::Exception; };
// Operating-system failures that the program reports.
class EOSError : public Exception { using Exception::Exception; };

// Throws the standard stream errors.
[[noreturn]] void ThrowReadError();
[[noreturn]] void ThrowWriteError();
[[noreturn]] void ThrowFileOpenError(const AnsiString& path);
[[noreturn]] void ThrowFileCreateError(const AnsiString& path);

} // namespace tarn
