// Files and directories on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/directory_listing.h"
#include "platform/platform.h"
#include "platform/sha256_pipe.h"
#include "platform/posix/posix.h"
#include "platform/volume_routines.h"

namespace tarn::platform {

void RemoveTemporariesOfEndedProcesses(const std::string& dir, std::string_view name)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    const std::string prefix = std::string(name) + ".", suffix = ".tmp";
    while (struct dirent* e = ::readdir(d)) {
        std::string_view file = e->d_name;
        if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) || !file.ends_with(suffix))
            continue;
        std::string_view digits = file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        pid_t pid = 0;
        for (char c : digits)
            pid = pid * 10 + (c - '0');
        if (pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

std::string TemporaryOfThisProcess(const std::string& dir, std::string_view name)
{
    return dir + "/" + std::string(name) + "." + std::to_string(::getpid()) + ".tmp";
}

namespace {

bool Stat(std::string_view path, struct stat& st)
{
    std::string host;
    return HostPathOrFail(path, host) && ::stat(host.c_str(), &st) == 0;
}

uint32_t AttributesOf(const struct stat& st, std::string_view name)
{
    uint32_t a = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
    if (!(st.st_mode & S_IWUSR))
        a |= faReadOnly;
    if (!name.empty() && name[0] == '.')
        a |= faHidden;
    return a;
}

std::string_view LastComponent(std::string_view path)
{
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.remove_suffix(1);
    size_t i = LastDelimiter("\\/:", path);
    return i == std::string_view::npos ? path : path.substr(i + 1);
}

} // namespace

bool FileExists(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && !e->IsDirectory;
    struct stat st;
    return Stat(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && e->IsDirectory;
    struct stat st;
    return Stat(path, st) && S_ISDIR(st.st_mode);
}

int32_t FileGetAttr(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return volumes::AttributesOf(*e, path);
    struct stat st;
    if (!Stat(path, st))
        return -1;
    return static_cast<int32_t>(AttributesOf(st, LastComponent(path)));
}

bool FileSetAttr(std::string_view path, uint32_t attributes)
{
    std::string host;
    struct stat st;
    if (FaultInjected("set attributes") || !HostPathOrFail(path, host) || ::stat(host.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = (attributes & faReadOnly) ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (wanted == mode)
        return true;
    return ::chmod(host.c_str(), wanted) == 0;
}

namespace {

mode_t ProcessUmask()
{
    // Read where the kernel tells it; setting it to read it back would race
    // with every thread that creates a file meanwhile.
    static const mode_t mask = [] {
        if (FILE* f = std::fopen("/proc/self/status", "re")) {
            char line[256];
            unsigned value = 0;
            bool found = false;
            while (!found && std::fgets(line, sizeof line, f))
                found = std::sscanf(line, "Umask: %o", &value) == 1;
            std::fclose(f);
            if (found)
                return static_cast<mode_t>(value & 0777);
        }
        mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return mask;
}

bool LooksLikeProgram(const std::string& host)
{
    std::string name = host.substr(host.find_last_of('/') + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = name.substr(dot + 1);
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == "exe" || ext == "com" || ext == "bat")
            return true;
    }
    std::string magic = FileMagic(host);
    return magic.compare(0, 4, "\x7F" "ELF") == 0 || magic.compare(0, 2, "#!") == 0;
}

} // namespace

bool MakeOwnFile(std::string_view path)
{
    std::string host;
    struct stat st;
    if (FaultInjected("set attributes") || !HostPathOrFail(path, host) || ::lstat(host.c_str(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        return S_ISLNK(st.st_mode);
    mode_t wanted = (LooksLikeProgram(host) ? 0755 : 0644) & ~ProcessUmask();
    return (st.st_mode & 07777) == wanted || ::chmod(host.c_str(), wanted) == 0;
}

int64_t FileSize(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && !e->IsDirectory ? e->Size : -1;
    struct stat st;
    if (!Stat(path, st) || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

namespace {

std::optional<uint32_t> DosTimeOf(const struct stat& st)
{
    struct tm local;
    time_t t = st.st_mtim.tv_sec;
    if (!localtime_r(&t, &local))
        return std::nullopt;
    int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return std::nullopt;
    uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return date << 16 | time;
}

} // namespace

std::optional<uint32_t> FileDosDateTime(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists ? e->DosDateTime : std::nullopt;
    struct stat st;
    if (!Stat(path, st))
        return std::nullopt;
    return DosTimeOf(st);
}

FileInfo StatFile(std::string_view path)
{
    FileInfo info;
    if (auto e = volumes::Stat(path)) {
        info.Exists = e->Exists;
        info.IsDirectory = e->IsDirectory;
        info.Size = e->Size;
        info.DosDateTime = e->DosDateTime;
        return info;
    }
    struct stat st;
    if (!Stat(path, st))
        return info;
    info.Exists = true;
    info.IsDirectory = S_ISDIR(st.st_mode);
    info.Size = static_cast<int64_t>(st.st_size);
    info.DosDateTime = DosTimeOf(st);
    return info;
}

bool CanOpenForReading(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && !e->IsDirectory;
    // The permission check that open(O_RDONLY) makes, with the effective ids.
    std::string host;
    return HostPathOrFail(path, host) && ::faccessat(AT_FDCWD, host.c_str(), R_OK, AT_EACCESS) == 0;
}

bool SetFileTimeUnix(std::string_view path, int64_t seconds)
{
    std::string host;
    struct timespec times[2] = { { static_cast<time_t>(seconds), 0 }, { static_cast<time_t>(seconds), 0 } };
    return !FaultInjected("set time") && HostPathOrFail(path, host) && ::utimensat(AT_FDCWD, host.c_str(), times, 0) == 0;
}

bool RemoveFile(std::string_view path)
{
    std::string host;
    return !FaultInjected("remove") && HostPathOrFail(path, host) && ::unlink(host.c_str()) == 0;
}

bool RemoveDir(std::string_view path)
{
    std::string host;
    return !FaultInjected("remove directory") && HostPathOrFail(path, host) && ::rmdir(host.c_str()) == 0;
}

bool RenameFile(std::string_view from, std::string_view to)
{
    std::string a, b;
    return !FaultInjected("rename") && HostPathOrFail(from, a) && HostPathOrFail(to, b) && ::rename(a.c_str(), b.c_str()) == 0;
}

bool ForceDirectories(std::string_view path)
{
    std::string host;
    if (FaultInjected("make directory") || !HostPathOrFail(path, host) || host.empty())
        return false;
    for (size_t i = 1; i <= host.size(); ++i) {
        if (i < host.size() && host[i] != '/')
            continue;
        std::string part = host.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR; // a file is in the way
        return false;
    }
    return true;
}

// A directory that is not there holds nothing (one already moved away by an
// uninstall that was stopped, say): no failure.
bool ListingFailed() { return errno != 0 && errno != ENOENT; }

AnsiString LastErrorText()
{
    int error = errno;
    return error == 0 ? AnsiString() : HostUtf8ToAnsi(std::strerror(error));
}

namespace {

// Moves count bytes between descriptors at the given offsets, in the kernel
// where it can (copy_file_range), else through a buffer.
int64_t CopyBytes(int in, int64_t inOffset, int out, int64_t outOffset, int64_t count, const CopyProgress& progress = {},
                  int64_t piece = int64_t(1) << 30)
{
    int64_t done = 0;
    bool kernel = true;
    while (done < count && kernel) {
        loff_t inOff = inOffset + done, outOff = outOffset + done;
        size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, piece));
        ssize_t n = ::copy_file_range(in, &inOff, out, &outOff, chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
            kernel = false;
            break;
        }
        if (n <= 0)
            return done;
        done += n;
        if (progress && !progress(done))
            return done;
    }
    if (done < count) {
        std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count - done, 1 << 20)));
        while (done < count) {
            size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(buffer.size())));
            ssize_t n = ::pread(in, buffer.data(), chunk, inOffset + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return done;
            ssize_t written = 0;
            while (written < n) {
                ssize_t w = ::pwrite(out, buffer.data() + written, static_cast<size_t>(n - written), outOffset + done + written);
                if (w < 0 && errno == EINTR)
                    continue;
                if (w <= 0)
                    return done + written;
                written += w;
            }
            done += n;
            if (progress && !progress(done))
                return done;
        }
    }
    return done;
}

} // namespace

// The bytes hashed on the way with one read of the source: each block is
// read into a buffer of the program's own for the hash, and copied in the
// kernel from the page cache that read filled (copy_file_range), which
// spares the copy back out of the buffer; where the kernel cannot, the
// buffer is written. The hashing runs beside the copying.
int64_t CopyHashed(int in, int out, int64_t count, const CopyProgress& progress, Sha256& sha)
{
    const size_t block = size_t(512) << 10;
    const size_t size = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(block)));
    std::vector<char> buffers[2] = { std::vector<char>(size), std::vector<char>(count > static_cast<int64_t>(block) ? size : 0) };
    // Small files are hashed here: a thread would cost more than it saves.
    std::optional<Sha256Pipe> pipe;
    if (count > static_cast<int64_t>(block))
        pipe.emplace(sha);
    bool kernel = true;
    int64_t done = 0;
    for (int k = 0; done < count; k ^= 1) {
        char* buffer = buffers[pipe ? k : 0].data();
        size_t want = static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(size)));
        size_t got = 0;
        while (got < want) {
            ssize_t n = ::pread(in, buffer + got, want - got, done + static_cast<int64_t>(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (got == 0)
            break;
        if (pipe)
            pipe->Add(buffer, got);
        else
            sha.Update(buffer, got);
        size_t written = 0;
        while (kernel && written < got) {
            loff_t inOff = done + static_cast<int64_t>(written), outOff = inOff;
            ssize_t n = ::copy_file_range(in, &inOff, out, &outOff, got - written, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 && written == 0 && (n == 0 || errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                                           errno == EOPNOTSUPP || errno == EBADF)) {
                kernel = false; // the buffer holds the same bytes
                break;
            }
            if (n <= 0)
                return done + static_cast<int64_t>(written);
            written += static_cast<size_t>(n);
        }
        while (written < got) {
            ssize_t w = ::pwrite(out, buffer + written, got - written, done + static_cast<int64_t>(written));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return done + static_cast<int64_t>(written);
            written += static_cast<size_t>(w);
        }
        done += static_cast<int64_t>(got);
        if (progress && !progress(done))
            break;
    }
    if (pipe)
        pipe->Wait();
    return done;
}

EntryKind KindOf(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return !e->Exists ? EntryKind::Missing : e->IsDirectory ? EntryKind::Directory : EntryKind::File;
    std::string host;
    struct stat st;
    if (!HostPathOrFail(path, host) || ::lstat(host.c_str(), &st) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    if (S_ISDIR(st.st_mode))
        return EntryKind::Directory;
    return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Special;
}

namespace {

// A program copied from a disc image stays one: execute bits where the
// umask allows reading.
bool MarkProgram(std::string_view target)
{
    std::string host;
    struct stat st;
    if (!HostPathOrFail(target, host) || ::stat(host.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    return ::chmod(host.c_str(), mode | ((mode & 0444) >> 2)) == 0;
}

} // namespace

bool IsBlockDevice(std::string_view path)
{
    std::string host;
    struct stat st;
    return HostPathOrFail(path, host) && ::stat(host.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool CopyFileWithAttributes(std::string_view source, std::string_view target, const CopyProgress& progress, Sha256* digest)
{
    if (FaultInjected("copy"))
        return false;
    if (auto copied = volumes::Copy(source, target, progress, digest, MarkProgram))
        return *copied;
    std::string src, dst;
    if (!HostPathOrFail(source, src) || !HostPathOrFail(target, dst))
        return false;
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(in);
        return false;
    }
    // As on Windows, a read-only target is not overwritten (root could otherwise).
    struct stat tst;
    if (::stat(dst.c_str(), &tst) == 0 && (S_ISDIR(tst.st_mode) || !(tst.st_mode & S_IWUSR))) {
        ::close(in);
        return false;
    }
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    // With progress, pieces small enough to copy in a few milliseconds each.
    const int64_t piece = progress ? int64_t(2) << 20 : int64_t(1) << 30;
    bool ok = (digest ? CopyHashed(in, out, st.st_size, progress, *digest) : CopyBytes(in, 0, out, 0, st.st_size, progress, piece)) ==
              st.st_size;
    struct timespec times[2] = { st.st_atim, st.st_mtim };
    ok = ok && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
    // A fault while writing: the bytes are there, the copy fails as a full disk would.
    ok = ok && !FaultInjected("copy (write)");
    ok = (::close(out) == 0) && ok;
    // What failed is told by errno: the cleaning up must not change it.
    int failure = errno;
    ::close(in);
    // Half a file must not pass for the file.
    if (!ok) {
        ::unlink(dst.c_str());
        errno = failure;
    }
    return ok;
}

int64_t DiskFreeBytes(std::string_view path)
{
    std::string host;
    if (!HostPathOrFail(path, host))
        return -1;
    // The volume of the nearest directory that exists.
    while (true) {
        struct statvfs vfs;
        if (::statvfs(host.empty() ? "." : host.c_str(), &vfs) == 0)
            return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
        size_t slash = host.find_last_of('/');
        if (slash == std::string::npos || host == "/")
            return -1;
        host = slash == 0 ? "/" : host.substr(0, slash);
    }
}

// ---- directory enumeration ----

struct DirectoryReader::Impl {
    DIR* dir = nullptr;
    int openError = 0; // why dir could not be opened
    bool needAttributes = false;
    std::optional<std::vector<DirEntry>> volumeEntries; // a directory inside a volume
    size_t next = 0;
};

DirectoryReader::DirectoryReader(std::string_view dir, bool needAttributes) : impl_(std::make_unique<Impl>())
{
    std::vector<DirEntry> entries;
    if (auto listed = volumes::List(dir, entries)) {
        impl_->volumeEntries.emplace();
        if (*listed)
            impl_->volumeEntries->swap(entries);
        else
            impl_->openError = EIO;
        return;
    }
    std::string host;
    if (!FaultInjected("list directory") && HostPathOrFail(dir, host))
        impl_->dir = ::opendir(host.empty() ? "." : host.c_str());
    if (!impl_->dir)
        impl_->openError = errno ? errno : ENOENT;
    impl_->needAttributes = needAttributes;
}

DirectoryReader::~DirectoryReader()
{
    if (impl_->dir)
        ::closedir(impl_->dir);
}

bool DirectoryReader::Next(DirEntry& entry)
{
    if (impl_->volumeEntries) {
        if (impl_->next >= impl_->volumeEntries->size()) {
            errno = impl_->openError;
            return false;
        }
        entry = (*impl_->volumeEntries)[impl_->next++];
        return true;
    }
    if (!impl_->dir) {
        errno = impl_->openError;
        return false;
    }
    for (;;) {
        errno = 0;
        struct dirent* d = ::readdir(impl_->dir);
        if (!d)
            return false;
        const char* name = d->d_name;
        entry.Name = HostUtf8ToAnsi(name, true);
        entry.IsLink = d->d_type == DT_LNK;
        unsigned char type = d->d_type;
        bool needStat = impl_->needAttributes || type == DT_UNKNOWN || type == DT_LNK;
        uint32_t attrs;
        if (needStat) {
            struct stat st;
            if (::fstatat(::dirfd(impl_->dir), name, &st, 0) != 0) {
                // A dangling link: a file that cannot be opened.
                if (::fstatat(::dirfd(impl_->dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
            }
            if (type == DT_UNKNOWN)
                entry.IsLink = false;
            attrs = AttributesOf(st, name);
        } else {
            attrs = type == DT_DIR ? faDirectory : faArchive;
            if (name[0] == '.')
                attrs |= faHidden;
        }
        entry.Attributes = attrs;
        return true;
    }
}

// ---- open files ----

struct File::Impl {
    int fd = -1;
};

std::unique_ptr<File> File::Open(std::string_view path, Mode mode)
{
    if (FaultInjected(mode == Mode::Read ? "open for reading" : "open for writing"))
        return nullptr;
    if (auto file = volumes::Open(path))
        return mode == Mode::Read ? OfVolume(std::move(*file)) : nullptr;
    std::string host;
    if (!HostPathOrFail(path, host) || host.empty())
        return nullptr;
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::Write: flags |= O_WRONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd = ::open(host.c_str(), flags, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<File> f(new File);
    f->impl_ = std::make_unique<Impl>();
    f->impl_->fd = fd;
    return f;
}

std::unique_ptr<File> File::OfVolume(std::unique_ptr<VolumeFile> file)
{
    if (!file)
        return nullptr;
    std::unique_ptr<File> f(new File);
    f->volume_ = std::move(file);
    return f;
}

File::~File()
{
    if (impl_ && impl_->fd >= 0)
        ::close(impl_->fd);
}

int64_t File::Read(void* buffer, int64_t count)
{
    if (FaultInjected("read"))
        return 0;
    if (volume_) {
        int64_t n = volume_->ReadAt(buffer, count, position_);
        position_ += std::max<int64_t>(n, 0);
        return n;
    }
    int64_t done = 0;
    char* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::pread(impl_->fd, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)), position_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
        position_ += n;
    }
    return done;
}

int64_t File::Write(const void* buffer, int64_t count)
{
    if (FaultInjected("write"))
        return 0;
    if (volume_)
        return 0;
    int64_t done = 0;
    const char* p = static_cast<const char*>(buffer);
    while (done < count) {
        ssize_t n = ::pwrite(impl_->fd, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)), position_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
        position_ += n;
    }
    return done;
}

int64_t File::Size()
{
    if (volume_)
        return volume_->Size();
    struct stat st;
    if (::fstat(impl_->fd, &st) != 0)
        return -1;
    if (S_ISBLK(st.st_mode)) // st_size is 0 for a device: its end tells
        return static_cast<int64_t>(::lseek(impl_->fd, 0, SEEK_END));
    return static_cast<int64_t>(st.st_size);
}

bool File::SetSize(int64_t size) { return !FaultInjected("set size") && !volume_ && ::ftruncate(impl_->fd, size) == 0; }

bool File::Sync() { return !FaultInjected("sync") && (volume_ || ::fsync(impl_->fd) == 0); }

bool File::SyncRange(int64_t offset, int64_t length)
{
    if (FaultInjected("sync"))
        return false;
    if (volume_)
        return true;
    return ::sync_file_range(impl_->fd, offset, length,
                             SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) == 0;
}

void File::StartWriteBack(int64_t offset, int64_t length)
{
    if (!volume_)
        ::sync_file_range(impl_->fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

int64_t File::CopyRange(File& source, File& target, int64_t count)
{
    if (FaultInjected("copy range"))
        return 0;
    if (source.volume_ || target.volume_)
        return CopyRangeThroughMemory(source, target, count);
    int64_t n = CopyBytes(source.impl_->fd, source.position_, target.impl_->fd, target.position_, count);
    source.position_ += n;
    target.position_ += n;
    return n;
}

} // namespace tarn::platform
