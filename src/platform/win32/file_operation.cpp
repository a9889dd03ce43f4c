// The shell's file operation on Windows: SHFileOperationW, which shows its
// own confirmations, progress and error reports.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include "platform/platform.h"

namespace tarn::platform {

namespace {

// A double-NUL list of CP932 names as the W function reads it: every name
// converted on its own, each ended by a NUL, and one more NUL after the last.
std::wstring WideList(std::string_view list)
{
    std::wstring wide;
    while (!list.empty()) {
        size_t end = list.find('\0');
        std::string_view name = list.substr(0, end);
        if (name.empty())
            break;
        wide += Wide(name);
        wide += L'\0';
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    wide += L'\0';
    return wide; // with the string's own terminator, two NULs end the list
}

} // namespace

FileOperationResult ShellFileOperation(uint32_t function, std::string_view from, std::string_view to, uint32_t flags,
                                       std::string_view title)
{
    std::wstring wideFrom = WideList(from), wideTo = WideList(to), wideTitle = Wide(title);
    SHFILEOPSTRUCTW op = {};
    op.hwnd = nullptr;
    op.wFunc = function;
    op.pFrom = wideFrom.c_str();
    op.pTo = wideTo.c_str();
    op.fFlags = static_cast<FILEOP_FLAGS>(flags);
    op.fAnyOperationsAborted = FALSE;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = title.empty() ? nullptr : wideTitle.c_str();
    // The shell's own return code is not passed on: it reports failures to
    // the person itself.
    SHFileOperationW(&op);
    FileOperationResult result;
    result.AnyOperationsAborted = op.fAnyOperationsAborted ? 1 : 0;
    return result;
}

} // namespace tarn::platform
