// The source that reads one track of one file, plain images (.iso, raw .bin
// and .img), drives, and the choice among the containers.
#include "media/sector_source.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "base/path.h"
#include "media/image_file.h"
#include "platform/platform.h"

namespace tarn::media {

namespace detail {

void Fail(const AnsiString& file, std::u8string_view reason, std::initializer_list<FormatArg> args)
{
    throw EMediaError(file + ": " + Format(reason, args));
}

int SectorBytes(SectorFormat format)
{
    switch (format) {
    case SectorFormat::Cooked2048: return 2048;
    case SectorFormat::Mode2Cooked: return 2336;
    default: return 2352;
    }
}

int UserOffset(SectorFormat format)
{
    switch (format) {
    case SectorFormat::Mode1Raw: return 16;  // sync 12, header 4
    case SectorFormat::Mode2Raw: return 24;  // sync 12, header 4, subheader 8
    case SectorFormat::Mode2Cooked: return 8; // subheader 8
    default: return 0;
    }
}

int64_t SizeOf(const AnsiString& path)
{
    auto file = platform::File::Open(path, platform::File::Mode::Read);
    return file ? file->Size() : -1;
}

bool ReadAt(const AnsiString& path, int64_t offset, void* buffer, int64_t count)
{
    auto file = platform::File::Open(path, platform::File::Mode::Read);
    if (!file || offset < 0)
        return false;
    file->Seek(offset);
    return file->Read(buffer, count) == count;
}

std::string ReadSmallFile(const AnsiString& path, int64_t limit)
{
    auto file = platform::File::Open(path, platform::File::Mode::Read);
    if (!file)
        Fail(path, u8"ファイルがないか、開けません");
    int64_t size = file->Size();
    if (size < 0 || size > limit)
        Fail(path, u8"制御ファイルとしては大きすぎます (%d バイト)", { static_cast<long long>(size) });
    std::string text(static_cast<size_t>(size), '\0');
    if (file->Read(text.data(), size) != size)
        Fail(path, u8"読み込めません");
    return text;
}

SectorFormat SniffRawSector(const AnsiString& path, int64_t offset)
{
    static const uint8_t sync[12] = { 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0 };
    uint8_t head[16];
    if (!ReadAt(path, offset, head, 16) || std::memcmp(head, sync, 12) != 0)
        return SectorFormat::Audio;
    return head[15] == 2 ? SectorFormat::Mode2Raw : head[15] == 1 ? SectorFormat::Mode1Raw : SectorFormat::Audio;
}

namespace {

// Reads the data track through a few open files of its own: each call takes
// one (opening another when every one is busy in another thread), so that
// calls in several threads read side by side without sharing a position.
class TrackSource final : public SectorSource {
public:
    explicit TrackSource(SourceInfo info)
        : info_(std::move(info)), track_(info_.Tracks[info_.DataTrack]), stride_(SectorBytes(track_.Format)),
          user_(UserOffset(track_.Format))
    {
    }
    int64_t SectorCount() const override { return track_.Sectors; }
    const SourceInfo& Info() const override { return info_; }

    void ReadSectors(int64_t first, int64_t count, uint8_t* buffer) override
    {
        if (first < 0 || count < 0 || first > track_.Sectors || count > track_.Sectors - first)
            Fail(track_.File, u8"セクタ %d から %d 個はトラック (%d セクタ) の外です",
                 { static_cast<long long>(first), static_cast<long long>(count), static_cast<long long>(track_.Sectors) });
        if (count == 0)
            return;
        Lease file(*this);
        if (stride_ == kSectorSize) { // one read straight into the caller's buffer
            ReadExactly(*file, track_.FileOffset + first * kSectorSize, buffer, count * kSectorSize);
            return;
        }
        // Raw sectors: runs of them into a buffer of the thread's own, the user bytes copied out.
        constexpr int64_t kRun = 128;
        thread_local std::vector<uint8_t> raw;
        raw.resize(static_cast<size_t>(std::min(count, kRun) * stride_));
        for (int64_t done = 0; done < count;) {
            int64_t n = std::min(count - done, kRun);
            ReadExactly(*file, track_.FileOffset + (first + done) * stride_, raw.data(), n * stride_);
            for (int64_t i = 0; i < n; ++i)
                std::memcpy(buffer + (done + i) * kSectorSize, raw.data() + i * stride_ + user_, kSectorSize);
            done += n;
        }
    }

private:
    class Lease {
    public:
        explicit Lease(TrackSource& source) : source_(source)
        {
            {
                std::lock_guard lock(source_.mutex_);
                if (!source_.idle_.empty()) {
                    file_ = std::move(source_.idle_.back());
                    source_.idle_.pop_back();
                }
            }
            if (!file_)
                file_ = platform::File::Open(source_.track_.File, platform::File::Mode::Read);
            if (!file_)
                Fail(source_.track_.File, u8"ファイルが開けません");
        }
        ~Lease()
        {
            std::lock_guard lock(source_.mutex_);
            source_.idle_.push_back(std::move(file_));
        }
        platform::File& operator*() { return *file_; }

    private:
        TrackSource& source_;
        std::unique_ptr<platform::File> file_;
    };

    void ReadExactly(platform::File& file, int64_t offset, void* buffer, int64_t bytes)
    {
        file.Seek(offset);
        if (file.Read(buffer, bytes) != bytes)
            Fail(track_.File, u8"ファイルが途中で終わっています (%d バイト目から %d バイトが読めません)",
                 { static_cast<long long>(offset), static_cast<long long>(bytes) });
    }

    SourceInfo info_;
    const TrackInfo& track_;
    int stride_, user_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<platform::File>> idle_;
};

} // namespace

std::unique_ptr<SectorSource> MakeTrackSource(SourceInfo info)
{
    if (info.DataTrack < 0 || info.DataTrack >= static_cast<int>(info.Tracks.size()) ||
        info.Tracks[info.DataTrack].Format == SectorFormat::Audio)
        Fail(info.Path, u8"データトラックがありません");
    const TrackInfo& t = info.Tracks[info.DataTrack];
    if (t.Sectors <= 0)
        Fail(info.Path, u8"データトラック (トラック %d) が空です", { t.Number });
    int64_t size = SizeOf(t.File);
    if (size < 0)
        Fail(t.File, u8"ファイルがないか、開けません");
    int64_t stride = SectorBytes(t.Format);
    if (t.FileOffset < 0 || t.FileOffset > size || t.Sectors > (size - t.FileOffset) / stride)
        Fail(t.File, u8"トラック %d (%d バイト目から %d セクタ) がファイル (%d バイト) の外にはみ出しています",
             { t.Number, static_cast<long long>(t.FileOffset), static_cast<long long>(t.Sectors),
               static_cast<long long>(size) });
    return std::make_unique<TrackSource>(std::move(info));
}

} // namespace detail

using namespace detail;

namespace {

// A file of sectors with nothing around them: the format is told by where
// the volume descriptors' "CD001" lies (sector 16) and, for raw sectors, by
// the header's mode byte. A partial sector at the end is left out.
std::unique_ptr<SectorSource> OpenPlainImage(const AnsiString& path)
{
    int64_t size = SizeOf(path);
    if (size < 0)
        Fail(path, u8"ファイルがないか、開けません");
    for (SectorFormat format : { SectorFormat::Cooked2048, SectorFormat::Mode1Raw, SectorFormat::Mode2Raw,
                                 SectorFormat::Mode2Cooked }) {
        int64_t stride = SectorBytes(format), sector16 = 16 * stride;
        uint8_t id[6];
        if (!ReadAt(path, sector16 + UserOffset(format), id, 6) || std::memcmp(id + 1, "CD001", 5) != 0)
            continue;
        if ((format == SectorFormat::Mode1Raw || format == SectorFormat::Mode2Raw) &&
            SniffRawSector(path, sector16) != format)
            continue;
        TrackInfo track{ 1, format, path, 0, 0, size / stride };
        return MakeTrackSource({ format == SectorFormat::Cooked2048 ? "iso" : "raw", path, { track }, 0 });
    }
    Fail(path, u8"ディスクイメージではありません (2048 バイトのセクタにも 2352 バイトのセクタにも ISO 9660 の"
               u8"ボリューム記述子がありません)");
}

// A drive or loop device: 2048-byte sectors through its device file.
std::unique_ptr<SectorSource> OpenDevice(const AnsiString& path)
{
    auto file = platform::File::Open(path, platform::File::Mode::Read);
    if (!file)
        Fail(path, u8"デバイスが開けません (ディスクが入っていないか、読む権限がありません)");
    int64_t size = file->Size();
    if (size < kSectorSize)
        Fail(path, u8"デバイスの大きさがわかりません (ディスクが入っていないかもしれません)");
    TrackInfo track{ 1, SectorFormat::Cooked2048, path, 0, 0, size / kSectorSize };
    return MakeTrackSource({ "device", path, { track }, 0 });
}

// The CloneCD control file beside an image or subchannel file, "" when none.
AnsiString ControlFileBeside(const AnsiString& path)
{
    for (const char* ext : { ".ccd", ".CCD", ".Ccd" }) {
        AnsiString ccd = ChangeFileExt(path, ext);
        if (platform::FileExists(ccd))
            return ccd;
    }
    return {};
}

} // namespace

bool LooksLikeDisc(const AnsiString& path)
{
    AnsiString ext = AnsiLowerCase(ExtractFileExt(path));
    for (const char* known : { ".iso", ".img", ".bin", ".cue", ".ccd", ".nrg", ".mdf" })
        if (ext == known)
            return true;
    return platform::IsBlockDevice(path);
}

std::unique_ptr<SectorSource> OpenSectorSource(const AnsiString& path)
{
    if (platform::IsBlockDevice(path))
        return OpenDevice(path);
    AnsiString ext = AnsiLowerCase(ExtractFileExt(path));
    if (ext == ".cue")
        return OpenCueSheet(path);
    if (ext == ".ccd")
        return OpenCloneCd(path, path);
    if (ext == ".img" || ext == ".sub") {
        AnsiString ccd = ControlFileBeside(path);
        if (!ccd.empty())
            return OpenCloneCd(ccd, path);
        if (ext == ".sub")
            Fail(path, u8"CloneCD の制御ファイル (.ccd) が隣にありません");
    }
    if (ext == ".nrg")
        return OpenNeroImage(path);
    return OpenPlainImage(path);
}

} // namespace tarn::media
