// Files and directories on Windows (W functions).
#include "platform/win32/win32.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/path.h"
#include "platform/directory_listing.h"
#include "platform/platform.h"
#include "platform/sha256_pipe.h"
#include "platform/volume_routines.h"

namespace tarn::platform {

namespace {

bool Attributes(std::string_view path, DWORD& attrs)
{
    attrs = GetFileAttributesW(SysPath(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool FileExists(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && !e->IsDirectory;
    DWORD a;
    return Attributes(path, a) && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && e->IsDirectory;
    DWORD a;
    return Attributes(path, a) && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int32_t FileGetAttr(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return volumes::AttributesOf(*e, path);
    DWORD a;
    if (!Attributes(path, a))
        return -1;
    return static_cast<int32_t>(a & faAnyFile);
}

bool FileSetAttr(std::string_view path, uint32_t attributes)
{
    DWORD keep;
    if (FaultInjected("set attributes") || !Attributes(path, keep))
        return false;
    DWORD wanted = (keep & ~static_cast<DWORD>(faReadOnly | faHidden | faSysFile | faArchive)) |
                   (attributes & (faReadOnly | faHidden | faSysFile | faArchive));
    wanted &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
    return SetFileAttributesW(SysPath(path).c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool MakeOwnFile(std::string_view path)
{
    DWORD a;
    if (FaultInjected("set attributes") || !Attributes(path, a) || (a & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (!(a & FILE_ATTRIBUTE_READONLY))
        return true;
    a &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(SysPath(path).c_str(), a ? a : FILE_ATTRIBUTE_NORMAL) != 0;
}

int64_t FileSize(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && !e->IsDirectory ? e->Size : -1;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(SysPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::optional<uint32_t> FileDosDateTime(std::string_view path) { return StatFile(path).DosDateTime; }

bool SetFileTimeUnix(std::string_view path, int64_t seconds)
{
    if (FaultInjected("set time"))
        return false;
    HANDLE h = CreateFileW(SysPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ULONGLONG ticks = static_cast<ULONGLONG>(seconds + 11644473600LL) * 10000000ULL;
    FILETIME ft = { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    bool ok = SetFileTime(h, nullptr, nullptr, &ft) != 0;
    CloseHandle(h);
    return ok;
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
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(SysPath(path).c_str(), GetFileExInfoStandard, &data))
        return info;
    info.Exists = true;
    info.IsDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.Size = static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    FILETIME local;
    WORD date, time;
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToDosDateTime(&local, &date, &time))
        info.DosDateTime = static_cast<uint32_t>(date) << 16 | time;
    return info;
}

bool CanOpenForReading(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return e->Exists && !e->IsDirectory;
    // Sharing is only known by trying.
    HANDLE h = CreateFileW(SysPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

bool RemoveFile(std::string_view path) { return !FaultInjected("remove") && DeleteFileW(SysPath(path).c_str()) != 0; }

bool RemoveDir(std::string_view path) { return !FaultInjected("remove directory") && RemoveDirectoryW(SysPath(path).c_str()) != 0; }

bool RenameFile(std::string_view from, std::string_view to)
{
    return !FaultInjected("rename") &&
           MoveFileExW(SysPath(from).c_str(), SysPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool ForceDirectories(std::string_view path)
{
    AnsiString p = ExcludeTrailingBackslash(path);
    if (p.empty() || FaultInjected("make directory"))
        return false;
    if (DirectoryExists(p))
        return true;
    AnsiString parent = ExtractFilePath(p);
    if (!parent.empty() && parent != p && ExcludeTrailingBackslash(parent) != p && parent.back() != ':')
        ForceDirectories(parent);
    return CreateDirectoryW(SysPath(p).c_str(), nullptr) != 0 || DirectoryExists(p);
}

namespace {

// A copy in pieces, with progress after each: the system's CopyFileEx
// reports progress only where it wants to (under Wine not at all), and a
// window waiting for a large file must stay responsive everywhere. Times
// and attributes are carried over as CopyFile carries them.
bool CopyInPieces(const std::wstring& src, const std::wstring& dst, const CopyProgress& progress, Sha256* digest)
{
    HANDLE in = CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    HANDLE out = CreateFileW(dst.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    // Two buffers: the one just read is hashed (on a thread of its own)
    // while it is written and the next one is read.
    std::vector<char> buffers[2] = { std::vector<char>(size_t(2) << 20), std::vector<char>(size_t(2) << 20) };
    std::optional<Sha256Pipe> pipe;
    if (digest)
        pipe.emplace(*digest);
    int64_t copied = 0;
    bool ok = true;
    for (int k = 0;; k ^= 1) {
        std::vector<char>& buffer = buffers[k];
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (pipe)
            pipe->Add(buffer.data(), got);
        DWORD written = 0;
        if (!WriteFile(out, buffer.data(), got, &written, nullptr) || written != got) {
            ok = false;
            break;
        }
        copied += got;
        if (progress && !progress(copied)) {
            ok = false;
            break;
        }
    }
    if (pipe)
        pipe->Wait();
    FILETIME created, accessed, modified;
    ok = ok && GetFileTime(in, &created, &accessed, &modified) && SetFileTime(out, &created, &accessed, &modified);
    ok = CloseHandle(out) && ok;
    // What failed is told by the last error: the cleaning up must not change it.
    DWORD failure = GetLastError();
    CloseHandle(in);
    if (!ok) {
        DeleteFileW(dst.c_str());
        SetLastError(failure);
    }
    return ok;
}

} // namespace

bool ListingFailed()
{
    DWORD error = GetLastError();
    // A root without any entry answers "no file" at once; a directory that
    // is not there holds nothing.
    return error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_SUCCESS;
}

AnsiString LastErrorText()
{
    DWORD error = GetLastError();
    if (error == 0)
        return AnsiString();
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                             reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    AnsiString message = n > 0 && text ? FromWide(text, n) : AnsiString();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    SetLastError(error);
    return message;
}

EntryKind KindOf(std::string_view path)
{
    if (auto e = volumes::Stat(path))
        return !e->Exists ? EntryKind::Missing : e->IsDirectory ? EntryKind::Directory : EntryKind::File;
    DWORD attrs = GetFileAttributesW(SysPath(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return EntryKind::Missing;
    return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory : EntryKind::File;
}

bool IsBlockDevice(std::string_view) { return false; }

bool CopyFileWithAttributes(std::string_view source, std::string_view target, const CopyProgress& progress, Sha256* digest)
{
    if (FaultInjected("copy"))
        return false;
    if (auto copied = volumes::Copy(source, target, progress, digest, nullptr))
        return *copied;
    std::wstring src = SysPath(source), dst = SysPath(target);
    // Windows refuses to overwrite a read-only target and copies the attributes;
    // say both explicitly, as not every implementation of CopyFile does.
    DWORD targetAttrs = GetFileAttributesW(dst.c_str());
    if (targetAttrs != INVALID_FILE_ATTRIBUTES && (targetAttrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    if (progress || digest) {
        if (!CopyInPieces(src, dst, progress, digest))
            return false;
    } else if (!CopyFileW(src.c_str(), dst.c_str(), FALSE)) {
        return false;
    }
    // A fault while writing: the bytes are there, the copy fails as a full disk would.
    if (FaultInjected("copy (write)")) {
        DWORD error = GetLastError();
        DeleteFileW(dst.c_str());
        SetLastError(error);
        return false;
    }
    DWORD attrs = GetFileAttributesW(src.c_str());
    return attrs == INVALID_FILE_ATTRIBUTES || GetFileAttributesW(dst.c_str()) == attrs ||
           SetFileAttributesW(dst.c_str(), attrs) != 0;
}

int64_t DiskFreeBytes(std::string_view path)
{
    // The volume of the nearest directory that exists: a destination is
    // asked about before it is made.
    AnsiString dir = ExcludeTrailingBackslash(path);
    while (!dir.empty() && !DirectoryExists(dir)) {
        AnsiString parent = ExcludeTrailingBackslash(ExtractFilePath(dir));
        if (parent == dir)
            break;
        dir = parent;
    }
    if (dir.empty() || !DirectoryExists(dir))
        return -1;
    std::wstring w = SysPath(AddBackslash(dir));
    ULARGE_INTEGER freeToCaller;
    if (GetDiskFreeSpaceExW(w.c_str(), &freeToCaller, nullptr, nullptr))
        return static_cast<int64_t>(freeToCaller.QuadPart);
    // Systems without the Ex function (and some network redirectors) answer
    // only for a root, in clusters.
    wchar_t root[MAX_PATH];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    std::wstring plain = WithoutExtendedPrefix(w);
    if (!GetVolumePathNameW(plain.c_str(), root, MAX_PATH) ||
        !GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return -1;
    return static_cast<int64_t>(freeClusters) * sectorsPerCluster * bytesPerSector;
}

// ---- directory enumeration ----

struct DirectoryReader::Impl {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data;
    bool pending = false;
    std::optional<std::vector<DirEntry>> volumeEntries; // a directory inside a volume
    size_t next = 0;
    // Why the listing ended: ERROR_NO_MORE_FILES at the directory's end.
    DWORD endError = ERROR_NO_MORE_FILES;
};

DirectoryReader::DirectoryReader(std::string_view dir, bool) : impl_(std::make_unique<Impl>())
{
    std::vector<DirEntry> entries;
    if (auto listed = volumes::List(dir, entries)) {
        impl_->volumeEntries.emplace();
        if (*listed)
            impl_->volumeEntries->swap(entries);
        else
            impl_->endError = ERROR_READ_FAULT;
        return;
    }
    // "*" rather than "*.*": in the extended form a dot in the pattern is a dot.
    if (FaultInjected("list directory")) {
        impl_->endError = GetLastError();
        return;
    }
    std::wstring pattern = SysPath(AddBackslash(dir) + "*");
    impl_->find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &impl_->data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    impl_->pending = impl_->find != INVALID_HANDLE_VALUE;
    if (!impl_->pending)
        impl_->endError = GetLastError();
}

DirectoryReader::~DirectoryReader()
{
    if (impl_->find != INVALID_HANDLE_VALUE)
        FindClose(impl_->find);
}

bool DirectoryReader::Next(DirEntry& entry)
{
    if (impl_->volumeEntries) {
        if (impl_->next >= impl_->volumeEntries->size()) {
            SetLastError(impl_->endError);
            return false;
        }
        entry = (*impl_->volumeEntries)[impl_->next++];
        return true;
    }
    if (!impl_->pending) {
        SetLastError(impl_->endError);
        return false;
    }
    const WIN32_FIND_DATAW& d = impl_->data;
    entry.Name = FromWide(d.cFileName, wcslen(d.cFileName));
    entry.Attributes = d.dwFileAttributes & faAnyFile;
    entry.IsLink = (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    impl_->pending = FindNextFileW(impl_->find, &impl_->data) != 0;
    if (!impl_->pending)
        impl_->endError = GetLastError();
    return true;
}

// ---- open files ----

struct File::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

std::unique_ptr<File> File::Open(std::string_view path, Mode mode)
{
    if (FaultInjected(mode == Mode::Read ? "open for reading" : "open for writing"))
        return nullptr;
    if (auto file = volumes::Open(path))
        return mode == Mode::Read ? OfVolume(std::move(*file)) : nullptr;
    DWORD access = 0, disposition = OPEN_EXISTING;
    switch (mode) {
    case Mode::Read: access = GENERIC_READ; break;
    case Mode::Write: access = GENERIC_WRITE; break;
    case Mode::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    case Mode::Create: access = GENERIC_READ | GENERIC_WRITE, disposition = CREATE_ALWAYS; break;
    }
    HANDLE h = CreateFileW(SysPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    std::unique_ptr<File> f(new File);
    f->impl_ = std::make_unique<Impl>();
    f->impl_->handle = h;
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
    if (impl_ && impl_->handle != INVALID_HANDLE_VALUE)
        CloseHandle(impl_->handle);
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
        OVERLAPPED ov = {};
        ov.Offset = static_cast<DWORD>(position_);
        ov.OffsetHigh = static_cast<DWORD>(position_ >> 32);
        DWORD n = 0;
        DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        if (!ReadFile(impl_->handle, p + done, chunk, &n, &ov) || n == 0)
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
        OVERLAPPED ov = {};
        ov.Offset = static_cast<DWORD>(position_);
        ov.OffsetHigh = static_cast<DWORD>(position_ >> 32);
        DWORD n = 0;
        DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
        if (!WriteFile(impl_->handle, p + done, chunk, &n, &ov) || n == 0)
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
    LARGE_INTEGER size;
    return GetFileSizeEx(impl_->handle, &size) ? size.QuadPart : -1;
}

bool File::SetSize(int64_t size)
{
    if (FaultInjected("set size") || volume_)
        return false;
    LARGE_INTEGER pos;
    pos.QuadPart = size;
    return SetFilePointerEx(impl_->handle, pos, nullptr, FILE_BEGIN) && SetEndOfFile(impl_->handle);
}

bool File::Sync() { return !FaultInjected("sync") && (volume_ || FlushFileBuffers(impl_->handle) != 0); }

// Windows flushes a file only whole.
bool File::SyncRange(int64_t, int64_t) { return true; }

void File::StartWriteBack(int64_t, int64_t) { }

int64_t File::CopyRange(File& source, File& target, int64_t count)
{
    if (source.volume_ || target.volume_)
        return CopyRangeThroughMemory(source, target, count);
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), 1 << 20)));
    int64_t done = 0;
    while (done < count) {
        int64_t chunk = std::min<int64_t>(count - done, static_cast<int64_t>(buffer.size()));
        int64_t n = source.Read(buffer.data(), chunk);
        if (n <= 0)
            break;
        int64_t w = target.Write(buffer.data(), n);
        done += w;
        if (w < n)
            break;
    }
    return done;
}

} // namespace tarn::platform
