// The shell's file operation on POSIX: deletion, to the freedesktop trash
// through GIO when it may be undone.
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

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
        else if (FaultInjected((flags & kFofAllowUndo) ? "trash" : "delete"))
            reason = HostUtf8ToAnsi(std::strerror(errno));
        else
            done = (flags & kFofAllowUndo) ? MoveToTrash(host, reason) : DeleteForGood(host, reason);
        if (!done)
            result.Failures.emplace_back(name, reason.empty() ? Sjis(u8"理由は分かりません") : reason);
    }
    return result;
}

namespace {

bool DeviceOf(std::string path, dev_t& dev)
{
    // The nearest folder that exists: the trash may not have been made yet.
    struct stat st;
    while (::stat(path.c_str(), &st) != 0) {
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || path == "/")
            return false;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
    dev = st.st_dev;
    return true;
}

} // namespace

// As GIO decides: the home trash takes what lies on its own mount; another
// mount needs a trash at its top (.Trash-$uid, or one that can be made
// there) and must not be one of the system's own.
bool TrashAccepts(std::string_view dir)
{
    std::string host;
    if (!HostPathOrFail(dir, host))
        return false;
    std::string data = GetEnv("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/')
        data = GetEnv("HOME") + "/.local/share";
    dev_t here = 0, home = 0;
    if (!DeviceOf(host, here))
        return false;
    if (DeviceOf(data + "/Trash", home) && here == home)
        return true;
    struct statfs fs;
    // Memory and the kernel's own file systems keep no trash.
    if (::statfs(host.c_str(), &fs) == 0 && (fs.f_type == 0x01021994 /* tmpfs */ || fs.f_type == 0x9fa0 /* proc */ ||
                                              fs.f_type == 0x62656572 /* sysfs */ || fs.f_type == 0x1373 /* devfs */))
        return false;
    // The mount's top: the last folder up on the same device.
    std::string top = host;
    while (top != "/") {
        size_t slash = top.find_last_of('/');
        std::string parent = slash == 0 ? "/" : top.substr(0, slash);
        dev_t dev = 0;
        if (!DeviceOf(parent, dev) || dev != here)
            break;
        top = parent;
    }
    for (const char* system : { "/", "/boot", "/usr", "/var", "/tmp", "/var/tmp", "/run", "/opt", "/srv" })
        if (top == system)
            return false;
    std::string own = (top == "/" ? "" : top) + "/.Trash-" + std::to_string(::getuid());
    struct stat st;
    if (::lstat(own.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && ::access(own.c_str(), W_OK | X_OK) == 0;
    return ::access(top.c_str(), W_OK | X_OK) == 0;
}

} // namespace tarn::platform
