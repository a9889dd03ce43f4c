#include "media/disc_volume.h"

#include <map>
#include <mutex>

#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/volume.h"

namespace tarn::media {

namespace {

class IsoFile : public platform::VolumeFile {
public:
    IsoFile(std::shared_ptr<IsoFileSystem> fs, const DiscNode& node) : fs_(std::move(fs)), node_(node) { }

    int64_t Size() const override { return node_.Size; }
    int64_t ReadAt(void* buffer, int64_t count, int64_t offset) override
    {
        try {
            return fs_->Read(node_, offset, buffer, count);
        } catch (const Exception&) {
            // A read error of the disc is a short read to the file routines,
            // which report the file that could not be copied or read.
            return 0;
        }
    }
    std::optional<HostRange> HostRangeOf(int64_t offset, int64_t count) const override
    {
        const SourceInfo& info = fs_->Source().Info();
        const TrackInfo& track = info.Tracks.at(static_cast<size_t>(info.DataTrack));
        if (track.Format != SectorFormat::Cooked2048 || info.Container == "device")
            return std::nullopt;
        int64_t start = 0;
        for (const Extent& e : node_.Extents) {
            if (offset >= start && offset + count <= start + e.Bytes)
                return HostRange{ track.File, track.FileOffset + e.Sector * kSectorSize + (offset - start) };
            start += e.Bytes;
        }
        return std::nullopt;
    }

private:
    std::shared_ptr<IsoFileSystem> fs_;
    const DiscNode& node_;
};

class IsoVolume : public platform::Volume {
public:
    explicit IsoVolume(std::shared_ptr<IsoFileSystem> fs) : fs_(std::move(fs)) { }

    platform::VolumeEntry Stat(std::string_view inner) override
    {
        platform::VolumeEntry entry;
        if (const DiscNode* node = Find(inner)) {
            entry.Exists = true;
            entry.IsDirectory = node->IsDirectory;
            entry.Size = node->IsDirectory ? 0 : node->Size;
            if (node->DosDateTime)
                entry.DosDateTime = node->DosDateTime;
            entry.UnixTime = node->UnixTime;
        }
        return entry;
    }

    bool List(std::string_view inner, std::vector<std::pair<AnsiString, bool>>& entries) override
    {
        const DiscNode* node = Find(inner);
        if (!node || !node->IsDirectory)
            return false;
        for (const auto& child : Children(*node))
            entries.emplace_back(child->Name, child->IsDirectory);
        return true;
    }

    std::unique_ptr<platform::VolumeFile> Open(std::string_view inner) override
    {
        const DiscNode* node = Find(inner);
        if (!node || node->IsDirectory)
            return nullptr;
        return std::make_unique<IsoFile>(fs_, *node);
    }

    const std::shared_ptr<IsoFileSystem>& FileSystem() const { return fs_; }

private:
    const DiscNode* Find(std::string_view inner)
    {
        try {
            return fs_->Find(inner);
        } catch (const Exception&) {
            return nullptr; // a directory that cannot be read holds nothing
        }
    }
    const std::vector<std::unique_ptr<DiscNode>>& Children(const DiscNode& dir)
    {
        static const std::vector<std::unique_ptr<DiscNode>> none;
        try {
            return fs_->Children(dir);
        } catch (const Exception&) {
            return none;
        }
    }

    std::shared_ptr<IsoFileSystem> fs_;
};

std::mutex discsMutex;
// The file systems mounted by this process, by their path as mounted.
std::map<AnsiString, std::shared_ptr<IsoFileSystem>> discs;

AnsiString Key(const AnsiString& path) { return ExcludeTrailingBackslash(path); }

} // namespace

std::shared_ptr<IsoFileSystem> MountedDisc(const AnsiString& path)
{
    std::lock_guard lock(discsMutex);
    auto it = discs.find(Key(path));
    return it != discs.end() && platform::IsMounted(it->first) ? it->second : nullptr;
}

std::shared_ptr<IsoFileSystem> MountDisc(const AnsiString& path)
{
    if (auto fs = MountedDisc(path))
        return fs;
    AnsiString key = Key(path);
    auto fs = std::make_shared<IsoFileSystem>(std::shared_ptr<SectorSource>(OpenSectorSource(key)), key);
    platform::MountVolume(key, std::make_shared<IsoVolume>(fs));
    std::lock_guard lock(discsMutex);
    discs[key] = fs;
    return fs;
}

std::shared_ptr<IsoFileSystem> MountIfDisc(const AnsiString& path, AnsiString* error)
{
    AnsiString key = Key(path);
    if (auto fs = MountedDisc(key))
        return fs;
    if (!LooksLikeDisc(key))
        return nullptr;
    platform::EntryKind kind = platform::KindOf(key);
    if (kind != platform::EntryKind::File && kind != platform::EntryKind::Special && kind != platform::EntryKind::Link)
        return nullptr;
    if (kind == platform::EntryKind::Link && !platform::FileExists(key))
        return nullptr;
    try {
        return MountDisc(key);
    } catch (const Exception& e) {
        if (error)
            *error = e.Message();
        return nullptr;
    }
}

AnsiString StartablePath(const AnsiString& program)
{
    std::string inner;
    if (!platform::VolumeOf(program, inner))
        return program;
    AnsiString from = ExtractFilePath(program);
    AnsiString to = AddBackslash(platform::TempDirectory()) + "tarn-disc\\" + ExtractFileName(ExcludeTrailingBackslash(from)) + "\\";
    StringList entries;
    ListFiles(from, faAnyFile, true, true, entries, true, true, false, "");
    if (!platform::ForceDirectories(to))
        return program;
    for (const AnsiString& entry : entries) {
        AnsiString target = to + entry.substr(from.size());
        bool ok = entry.ends_with("\\") ? platform::ForceDirectories(target) : CopyIfChanged(entry, target, true);
        if (!ok)
            return program;
    }
    return to + ExtractFileName(program);
}

} // namespace tarn::media
