// The shell's file operation on Windows: SHFileOperationW, which shows its
// own confirmations, progress and error reports.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <vector>

#include "base/codepage.h"
#include "platform/platform.h"

namespace tarn::platform {

namespace {

// The names of a double-NUL list of CP932 names; an empty name ends it.
StringList NamesOf(std::string_view list)
{
    StringList names;
    while (!list.empty()) {
        size_t end = list.find('\0');
        std::string_view name = list.substr(0, end);
        if (name.empty())
            break;
        names.emplace_back(name);
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return names;
}

// A list as the W function reads it: every name converted on its own, each
// ended by a NUL, and one more NUL after the last.
std::wstring WideList(const StringList& names)
{
    std::wstring wide;
    for (const AnsiString& name : names) {
        wide += Wide(name);
        wide += L'\0';
    }
    wide += L'\0';
    return wide; // with the string's own terminator, two NULs end the list
}

// The shell's operation takes no extended paths: a name it cannot take whole
// must not reach it cut short or as another name.
bool TooLongForTheShell(const AnsiString& name)
{
    std::wstring w = Wide(name);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    return w.size() >= MAX_PATH || n > MAX_PATH; // n counts the terminator
}

} // namespace

FileOperationResult ShellFileOperation(uint32_t function, std::string_view from, std::string_view to, uint32_t flags,
                                       std::string_view title)
{
    FileOperationResult result;
    StringList sources;
    for (const AnsiString& name : NamesOf(from)) {
        if (TooLongForTheShell(name))
            result.Failures.emplace_back(name, Sjis(u8"パスが長すぎます。"));
        else
            sources.push_back(name);
    }
    if (sources.empty())
        return result;
    if (FaultInjected((flags & kFofAllowUndo) ? "trash" : "delete")) {
        for (const AnsiString& name : sources)
            result.Failures.emplace_back(name, LastErrorText());
        return result;
    }
    std::wstring wideFrom = WideList(sources), wideTo = WideList(NamesOf(to)), wideTitle = Wide(title);
    SHFILEOPSTRUCTW op = {};
    op.hwnd = nullptr;
    op.wFunc = function;
    op.pFrom = wideFrom.c_str();
    op.pTo = wideTo.c_str();
    op.fFlags = static_cast<FILEOP_FLAGS>(flags);
    op.fAnyOperationsAborted = FALSE;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = title.empty() ? nullptr : wideTitle.c_str();
    int rc = SHFileOperationW(&op);
    result.AnyOperationsAborted = op.fAnyOperationsAborted ? 1 : 0;
    // Without its error boxes the shell tells only that something failed:
    // a name still there after a deletion is named here, so that nobody
    // takes it for gone.
    if (rc != 0 && function == kFoDelete && (flags & kFofNoErrorUi) && !op.fAnyOperationsAborted) {
        for (const AnsiString& name : sources)
            if (GetFileAttributesW(SysPath(name).c_str()) != INVALID_FILE_ATTRIBUTES)
                result.Failures.emplace_back(name, Sjis(u8"削除できませんでした。"));
    }
    return result;
}

} // namespace tarn::platform
