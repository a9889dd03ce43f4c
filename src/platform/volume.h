// Trees the host does not show as folders: a disc image, or a drive read
// through its device. A volume is mounted at a program path (the image's or
// the device's own), and from then on every read-only routine of the
// platform (existence, attributes, sizes, times, directory listings, files
// opened for reading, copies) takes a path below that one into the volume,
// so that an image reads like a folder to everything above. Writing below a
// mounted path fails as it would on a read-only disc. The mounted path
// itself is a folder to the questions (DirectoryExists) and still the file
// it is to File::Open and copies: the volume's own reader reads it so.
//
// The media layer implements volumes; the platform only keeps the table, so
// that it needs to know nothing of images.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace tarn::platform {

struct VolumeEntry {
    bool Exists = false;
    bool IsDirectory = false;
    int64_t Size = 0;
    std::optional<uint32_t> DosDateTime; // last write, local time, as FileDosDateTime
    std::optional<int64_t> UnixTime;     // the same as seconds since 1970, UTC
};

// A file of a volume opened for reading. ReadAt may be called from several
// threads at once.
class VolumeFile {
public:
    virtual ~VolumeFile() = default;
    virtual int64_t Size() const = 0;
    // Up to count bytes from offset; fewer only at the end or on a read error.
    virtual int64_t ReadAt(void* buffer, int64_t count, int64_t offset) = 0;
    // Where the bytes [offset, offset + count) lie unchanged in one host file
    // (a plain image): its program path and the offset there, so that a copy
    // can leave them to the kernel. None where they do not (raw sectors,
    // a run that crosses extents).
    struct HostRange {
        AnsiString File;
        int64_t Offset = 0;
    };
    virtual std::optional<HostRange> HostRangeOf(int64_t /*offset*/, int64_t /*count*/) const { return std::nullopt; }
};

class Volume {
public:
    virtual ~Volume() = default;
    // inner: the path below the volume's root, components separated by
    // backslashes, no leading or trailing one; "" is the root.
    virtual VolumeEntry Stat(std::string_view inner) = 0;
    // The entries of a directory (without "." and ".."); false when inner is
    // no directory of the volume.
    virtual bool List(std::string_view inner, std::vector<std::pair<AnsiString, bool /*isDirectory*/>>& entries) = 0;
    // nullptr when inner is no file of the volume.
    virtual std::unique_ptr<VolumeFile> Open(std::string_view inner) = 0;
};

// Mounts volume at path (a program path, the image's own); a volume mounted
// there before is replaced. Mounting the same image again is cheap for the
// caller to avoid: IsMounted.
void MountVolume(std::string_view path, std::shared_ptr<Volume> volume);
void UnmountVolume(std::string_view path);
bool IsMounted(std::string_view path);

// The volume that holds path (path is a mounted path or lies below one), and
// the rest of path inside it; nullptr for every other path.
std::shared_ptr<Volume> VolumeOf(std::string_view path, std::string& inner);

} // namespace tarn::platform
