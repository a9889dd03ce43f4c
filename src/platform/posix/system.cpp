// Temporary directory, own path, folders, deferred deletion, sleep and the
// single-instance lock on POSIX.
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace tarn::platform {

AnsiString TempDirectory()
{
    std::string tmp = GetEnv("TMPDIR");
    if (tmp.empty() || tmp[0] != '/')
        tmp = "/tmp";
    return AddBackslash(PathFromHost(tmp));
}

AnsiString ModuleFileName()
{
    std::vector<char> buf(4096);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size())
        return AnsiString();
    return PathFromHost(std::string_view(buf.data(), static_cast<size_t>(n)));
}

AnsiString SpecialFolder(int csidl)
{
    switch (csidl) {
    case 0x26: // CSIDL_PROGRAM_FILES
        return "C:\\Games";
    case 0x05: // CSIDL_PERSONAL
        return "C:";
    default:
        throw EOSError(u8"特殊フォルダ %d を取得できません", { csidl });
    }
}

AnsiString WindowsDirectory() { return "C:\\"; }

namespace {

std::mutex g_deleteLock;
std::vector<std::string>* g_deleteAtExit = nullptr;

void DeleteRegisteredFiles()
{
    std::lock_guard<std::mutex> guard(g_deleteLock);
    if (g_deleteAtExit)
        for (const std::string& host : *g_deleteAtExit)
            ::unlink(host.c_str());
}

} // namespace

void ScheduleDeleteAtReboot(std::string_view path)
{
    std::string host;
    if (!HostPathOrFail(path, host))
        return;
    std::lock_guard<std::mutex> guard(g_deleteLock);
    if (!g_deleteAtExit) {
        g_deleteAtExit = new std::vector<std::string>;
        std::atexit(DeleteRegisteredFiles);
    }
    g_deleteAtExit->push_back(host);
}

void SleepMs(uint32_t milliseconds)
{
    struct timespec ts = { static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L };
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// ---- named mutex: an exclusive flock on a lock file named by the title's bytes ----

struct NamedMutex::Impl {
    int fd = -1;
};

namespace {

bool OwnPrivateDirectory(const std::string& dir)
{
    struct stat st;
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

// A folder where no other local user can make names: in a shared one (/tmp)
// anyone could create the lock file first, as a file of their own, and no
// installer of that title would start again. $XDG_RUNTIME_DIR is the user's
// alone by the desktop's rules; without it, a folder of the user's cache.
// "" when there is none.
std::string LockDirectory()
{
    std::string runtime = GetEnv("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/' && OwnPrivateDirectory(runtime))
        return runtime;
    std::string cache = GetEnv("XDG_CACHE_HOME");
    if (cache.empty() || cache[0] != '/') {
        std::string home = GetEnv("HOME");
        if (home.empty() || home[0] != '/') {
            struct passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "";
        }
        if (home.empty() || home[0] != '/')
            return std::string();
        cache = home + "/.cache";
    }
    std::string dir = cache + "/tarn-setup";
    // Missing folders are made on the way, the user's alone as the cache's rules ask.
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    struct stat st;
    if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        ::chmod(dir.c_str(), 0700);
    return OwnPrivateDirectory(dir) ? dir : std::string();
}

std::string LockFileName(std::string_view name)
{
    static const char hex[] = "0123456789abcdef";
    std::string h;
    for (unsigned char c : name) {
        h += hex[c >> 4];
        h += hex[c & 15];
    }
    if (h.size() > 160) {
        // Names are limited to 255 bytes: keep a prefix and add a hash of the whole title.
        uint64_t fnv = 1469598103934665603ull;
        for (unsigned char c : name)
            fnv = (fnv ^ c) * 1099511628211ull;
        std::string tail;
        for (int i = 60; i >= 0; i -= 4)
            tail += hex[(fnv >> i) & 15];
        h = h.substr(0, 160) + "-" + tail;
    }
    std::string dir = LockDirectory();
    return dir.empty() ? std::string() : dir + "/tarn-setup-" + h + ".lock";
}

} // namespace

std::unique_ptr<NamedMutex> NamedMutex::Acquire(std::string_view name)
{
    std::string file = LockFileName(name);
    if (file.empty())
        return nullptr;
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<NamedMutex> m(new NamedMutex);
    m->impl_ = std::make_unique<Impl>();
    m->impl_->fd = fd;
    return m;
}

NamedMutex::~NamedMutex()
{
    if (impl_ && impl_->fd >= 0) {
        ::flock(impl_->fd, LOCK_UN);
        ::close(impl_->fd);
    }
}

} // namespace tarn::platform
