#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/sha256.h"
#include "platform/volume_routines.h"

namespace tarn::platform {

namespace {

struct Mount {
    AnsiString Path; // without a trailing backslash
    std::shared_ptr<platform::Volume> Of;
};

std::mutex mountsMutex;
std::vector<Mount> mounts;
// Most runs mount nothing: then no path pays for the table.
std::atomic<size_t> mountCount{ 0 };

std::string_view WithoutTrailingSeparators(std::string_view path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.remove_suffix(1);
    return path;
}

bool SameText(std::string_view a, std::string_view b)
{
#ifdef _WIN32
    // Windows names fold case; a drive letter or an ASCII name may come
    // either way. Double-byte characters compare as bytes.
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
#else
    return a == b;
#endif
}

} // namespace

void MountVolume(std::string_view path, std::shared_ptr<Volume> volume)
{
    std::lock_guard lock(mountsMutex);
    AnsiString key(WithoutTrailingSeparators(path));
    for (Mount& m : mounts) {
        if (SameText(m.Path, key)) {
            m.Of = std::move(volume);
            return;
        }
    }
    mounts.push_back({ key, std::move(volume) });
    mountCount = mounts.size();
}

void UnmountVolume(std::string_view path)
{
    std::lock_guard lock(mountsMutex);
    std::string_view key = WithoutTrailingSeparators(path);
    std::erase_if(mounts, [&](const Mount& m) { return SameText(m.Path, key); });
    mountCount = mounts.size();
}

bool IsMounted(std::string_view path)
{
    std::string inner;
    return VolumeOf(path, inner) && inner.empty();
}

std::shared_ptr<Volume> VolumeOf(std::string_view path, std::string& inner)
{
    if (mountCount.load(std::memory_order_relaxed) == 0)
        return nullptr;
    std::lock_guard lock(mountsMutex);
    for (const Mount& m : mounts) {
        if (path.size() < m.Path.size() || !SameText(path.substr(0, m.Path.size()), m.Path))
            continue;
        std::string_view rest = path.substr(m.Path.size());
        if (!rest.empty() && rest[0] != '\\' && rest[0] != '/')
            continue; // "disc1.iso.bak" is not below "disc1.iso"
        while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/'))
            rest.remove_prefix(1);
        while (!rest.empty() && (rest.back() == '\\' || rest.back() == '/'))
            rest.remove_suffix(1);
        inner.assign(rest);
        for (char& c : inner)
            if (c == '/')
                c = '\\';
        return m.Of;
    }
    return nullptr;
}

namespace volumes {

namespace {

// Copies through memory go in pieces of this size, through a buffer of the
// thread's own (made once, never cleared: every byte is read before use).
constexpr int64_t kPiece = int64_t(2) << 20;

uint8_t* Scratch()
{
    thread_local std::unique_ptr<uint8_t[]> buffer(new uint8_t[kPiece]);
    return buffer.get();
}

} // namespace

std::optional<VolumeEntry> Stat(std::string_view path)
{
    std::string inner;
    auto volume = VolumeOf(path, inner);
    if (!volume)
        return std::nullopt;
    return volume->Stat(inner);
}

std::optional<bool> List(std::string_view path, std::vector<DirEntry>& entries)
{
    std::string inner;
    auto volume = VolumeOf(path, inner);
    if (!volume)
        return std::nullopt;
    std::vector<std::pair<AnsiString, bool>> names;
    if (!volume->List(inner, names))
        return false;
    entries.clear();
    entries.reserve(names.size() + 2);
    entries.push_back({ ".", faDirectory | faReadOnly, false });
    entries.push_back({ "..", faDirectory | faReadOnly, false });
    for (auto& [name, isDirectory] : names)
        entries.push_back({ std::move(name), (isDirectory ? faDirectory : faArchive) | faReadOnly, false });
    return true;
}

int32_t AttributesOf(const VolumeEntry& entry, std::string_view)
{
    if (!entry.Exists)
        return -1;
    return static_cast<int32_t>((entry.IsDirectory ? faDirectory : faArchive) | faReadOnly);
}

std::optional<std::unique_ptr<VolumeFile>> Open(std::string_view path)
{
    std::string inner;
    auto volume = VolumeOf(path, inner);
    // The image itself stays a file: its own reader opens it while it is mounted.
    if (!volume || inner.empty())
        return std::nullopt;
    return volume->Open(inner);
}

std::optional<bool> Copy(std::string_view source, std::string_view target, const CopyProgress& progress, Sha256* digest,
                         bool (*markProgram)(std::string_view target))
{
    std::string inner;
    auto volume = VolumeOf(source, inner);
    if (!volume || inner.empty())
        return std::nullopt; // the image file itself is copied as a file
    VolumeEntry entry = volume->Stat(inner);
    std::unique_ptr<VolumeFile> in = entry.Exists && !entry.IsDirectory ? volume->Open(inner) : nullptr;
    if (!in)
        return false;
    // As with a host file: a read-only target is not overwritten.
    int32_t targetAttributes = FileGetAttr(target);
    if (targetAttributes >= 0 && (targetAttributes & (faDirectory | faReadOnly)))
        return false;
    std::unique_ptr<File> out = File::Open(target, File::Mode::Create);
    if (!out)
        return false;

    const int64_t size = in->Size();
    // What a program looks like at its start decides its modes (POSIX).
    char head[4] = {};
    const int64_t headBytes = std::min<int64_t>(size, 4);
    bool ok = in->ReadAt(head, headBytes, 0) == headBytes;
    bool program = (headBytes >= 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) || (headBytes >= 2 && std::memcmp(head, "#!", 2) == 0);
    std::unique_ptr<File> host; // the image itself, where the bytes lie in it unchanged
    AnsiString hostName;
    int64_t done = 0;
    while (ok && done < size) {
        int64_t n = std::min(kPiece, size - done);
        // Bytes that lie unchanged in the image go in the kernel, unless
        // they are to be hashed on the way.
        auto range = digest ? std::nullopt : in->HostRangeOf(done, n);
        if (range) {
            if (!host || hostName != range->File) {
                host = File::Open(range->File, File::Mode::Read);
                hostName = range->File;
            }
            if (host) {
                host->Seek(range->Offset);
                ok = File::CopyRange(*host, *out, n) == n;
            } else {
                range.reset();
            }
        }
        if (!range) {
            uint8_t* buffer = Scratch();
            ok = in->ReadAt(buffer, n, done) == n && out->Write(buffer, n) == n;
            if (ok && digest)
                digest->Update(buffer, static_cast<size_t>(n));
        }
        done += n;
        if (ok && progress && !progress(done))
            ok = false;
    }
    out.reset();
    ok = ok && (!entry.UnixTime || SetFileTimeUnix(target, *entry.UnixTime));
    ok = ok && (!program || !markProgram || markProgram(target));
    // Half a file must not pass for the file.
    if (!ok)
        RemoveFile(target);
    return ok;
}

} // namespace volumes

int64_t File::CopyRangeThroughMemory(File& source, File& target, int64_t count)
{
    if (target.volume_)
        return 0;
    // Bytes that lie unchanged in the image go from there, in the kernel.
    if (auto range = source.volume_->HostRangeOf(source.position_, count)) {
        if (auto host = File::Open(range->File, Mode::Read)) {
            host->Seek(range->Offset);
            int64_t n = CopyRange(*host, target, count);
            source.position_ += n;
            return n;
        }
    }
    uint8_t* buffer = volumes::Scratch();
    int64_t done = 0;
    while (done < count) {
        int64_t want = std::min<int64_t>(count - done, volumes::kPiece);
        int64_t got = source.Read(buffer, want);
        if (got <= 0)
            break;
        int64_t put = target.Write(buffer, got);
        done += put;
        if (put != got)
            break;
    }
    return done;
}

} // namespace tarn::platform
