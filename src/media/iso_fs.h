// ISO 9660 with Joliet, read from a sector source, with the names as the
// disc authored them: Joliet at full length where there is a Joliet volume,
// else the primary names as CP932 bytes, never case-folded; Rock Ridge names
// only where neither gives a usable name. Lookups fold case as Windows does
// and respect double-byte characters.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/text.h"
#include "media/sector_source.h"

namespace tarn::media {

enum class NameSet { Joliet, Primary, RockRidge };

struct VolumeInfo {
    AnsiString VolumeId;     // CP932 (from Joliet when used), trailing blanks removed
    // The set the tree's names come from. A name that its set cannot give in
    // CP932 is taken from the primary record of the same data, then from its
    // Rock Ridge name, so single names may come from another set.
    NameSet Names = NameSet::Primary;
    bool HasJoliet = false;
    bool HasRockRidge = false;
    int64_t VolumeSectors = 0; // the volume space size
};

struct Extent {
    int64_t Sector = 0; // relative to the data track's start
    int64_t Bytes = 0;
};

struct DiscNode {
    AnsiString Name;            // CP932; "" for the root
    bool IsDirectory = false;
    int64_t Size = 0;           // files: the sum of their extents
    // The recording time in the host's local time, as a DOS date (high word)
    // and time: what the host reports for a file copied from the disc.
    uint32_t DosDateTime = 0;
    int64_t UnixTime = 0; // the same moment as seconds since 1970, UTC
    std::vector<Extent> Extents; // directories: their own records
    const DiscNode* Parent = nullptr;
};

class IsoFileSystem {
public:
    // Reads the volume descriptors. Raises EMediaError naming the image (name)
    // when there is no ISO 9660 volume or its root directory is unusable.
    IsoFileSystem(std::shared_ptr<SectorSource> source, AnsiString name);
    ~IsoFileSystem();

    const VolumeInfo& Info() const { return info_; }
    const DiscNode& Root() const;
    // A path below the root, separated by backslashes (a trailing one is
    // allowed; "" is the root); nullptr when nothing is there.
    const DiscNode* Find(std::string_view path) const;
    // The entries of a directory, in the order of its records; read on first
    // use. Records that are refused are left out (and named in Warnings).
    const std::vector<std::unique_ptr<DiscNode>>& Children(const DiscNode& dir) const;
    // Reads up to count bytes of a file from offset; fewer only at its end.
    int64_t Read(const DiscNode& file, int64_t offset, void* buffer, int64_t count) const;
    // Messages (CP932) about records that were skipped, so far.
    std::vector<AnsiString> Warnings() const;

    SectorSource& Source() const { return *source_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::shared_ptr<SectorSource> source_;
    AnsiString name_;
    VolumeInfo info_;
};

} // namespace tarn::media
