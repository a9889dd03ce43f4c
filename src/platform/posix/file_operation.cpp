// The shell's file operation on POSIX: deletion, to the freedesktop trash
// through GIO when it may be undone.
#include <sys/stat.h>

#include <gio/gio.h>

#include <cstring>
#include <filesystem>

#include "base/codepage.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace tarn::platform {

namespace {

// The names of a double-NUL list: up to the first empty name.
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

// GIO puts the file in the trash of its mount (the home trash, or the
// .Trash-$uid that it picks on another one) and refuses where there is no
// trash to be had; then the file stays: it is never deleted for good
// without the person being asked.
bool MoveToTrash(const std::string& host, AnsiString& reason)
{
    GFile* file = g_file_new_for_path(host.c_str());
    GError* error = nullptr;
    bool ok = g_file_trash(file, nullptr, &error);
    if (!ok)
        reason = HostUtf8ToAnsi(error ? error->message : "");
    if (error)
        g_error_free(error);
    g_object_unref(file);
    return ok;
}

bool DeleteForGood(const std::string& host, AnsiString& reason)
{
    // remove_all looks at links themselves: a link goes, never what it points to.
    std::error_code ec;
    std::filesystem::remove_all(host, ec);
    if (ec)
        reason = HostUtf8ToAnsi(ec.message());
    return !ec;
}

} // namespace

FileOperationResult ShellFileOperation(uint32_t function, std::string_view from, std::string_view, uint32_t flags,
                                       std::string_view)
{
    FileOperationResult result;
    for (const AnsiString& name : NamesOf(from)) {
        AnsiString reason;
        std::string host;
        struct stat st;
        bool done = false;
        if (function != kFoDelete)
            reason = Sjis(u8"この操作はこのシステムでは行えません");
        else if (!HostPath(name, host) || host.empty())
            reason = Sjis(u8"このシステムにはないパスです");
        else if (::lstat(host.c_str(), &st) != 0)
            reason = errno == ENOENT ? Sjis(u8"ファイルが見つかりません") : HostUtf8ToAnsi(std::strerror(errno));
        else
            done = (flags & kFofAllowUndo) ? MoveToTrash(host, reason) : DeleteForGood(host, reason);
        if (!done)
            result.Failures.emplace_back(name, reason.empty() ? Sjis(u8"理由は分かりません") : reason);
    }
    return result;
}

} // namespace tarn::platform
