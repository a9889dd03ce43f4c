#include "base/error.h"

#include "base/messages.h"

namespace tarn {

Exception::Exception(std::u8string_view format, std::initializer_list<FormatArg> args)
    : message_(Format(format, args))
{
}

void ThrowReadError() { throw EReadError(msg::StreamRead, {}); }
void ThrowWriteError() { throw EWriteError(msg::StreamWrite, {}); }
void ThrowFileOpenError(const AnsiString& path) { throw EFOpenError(msg::FileOpen, { path }); }
void ThrowFileCreateError(const AnsiString& path) { throw EFCreateError(msg::FileCreate, { path }); }

} // namespace tarn
