// Temporary directory, own path, folders, deferred deletion, sleep and the
// single-instance lock on POSIX.
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
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
    std::string lockFile;
    // Show requests of later starts: a listening socket, and a pipe that
    // wakes its thread to end.
    int listener = -1;
    int wake[2] = { -1, -1 };
    std::string socketFile;
    std::thread thread;
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

namespace {

// The socket beside a lock: a short name (a socket's path holds 108 bytes),
// the hash of the lock's.
std::string ShowSocketFile(const std::string& lockFile)
{
    uint64_t fnv = 1469598103934665603ull;
    for (unsigned char c : lockFile)
        fnv = (fnv ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "/tarn-setup-%016llx.sock", static_cast<unsigned long long>(fnv));
    return lockFile.substr(0, lockFile.rfind('/')) + name;
}

bool SocketAddress(const std::string& file, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (file.empty() || file.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, file.data(), file.size());
    return true;
}

} // namespace

void NamedMutex::ListenForShowRequests(std::function<void()> onRequest)
{
    Impl& m = *impl_;
    if (m.listener >= 0)
        return;
    sockaddr_un addr;
    std::string file = ShowSocketFile(m.lockFile);
    if (!SocketAddress(file, addr))
        return;
    // Whoever made a socket of this name held the lock before: it is stale.
    ::unlink(file.c_str());
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 4) != 0 || ::pipe2(m.wake, O_CLOEXEC) != 0) {
        ::close(s);
        return;
    }
    m.listener = s;
    m.socketFile = file;
    m.thread = std::thread([&m, onRequest = std::move(onRequest)] {
        while (true) {
            pollfd fds[2] = { { m.listener, POLLIN, 0 }, { m.wake[0], POLLIN, 0 } };
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            if (!(fds[0].revents & POLLIN))
                continue;
            int c = ::accept4(m.listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            ::close(c); // the connection is the request
            onRequest();
        }
    });
}

bool NamedMutex::AskHolderToShow(std::string_view name, std::string_view)
{
    std::string lock = LockFileName(name);
    sockaddr_un addr;
    if (lock.empty() || !SocketAddress(ShowSocketFile(lock), addr))
        return false;
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

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
    m->impl_->lockFile = file;
    return m;
}

NamedMutex::~NamedMutex()
{
    if (impl_ && impl_->thread.joinable()) {
        // The socket goes while the lock is still held: the next holder's is never removed.
        (void)!::write(impl_->wake[1], "x", 1);
        impl_->thread.join();
        ::unlink(impl_->socketFile.c_str());
        ::close(impl_->listener);
        ::close(impl_->wake[0]);
        ::close(impl_->wake[1]);
    }
    if (impl_ && impl_->fd >= 0) {
        ::flock(impl_->fd, LOCK_UN);
        ::close(impl_->fd);
    }
}

} // namespace tarn::platform
