// Nero images (.nrg): the sectors first, then a list of chunks that
// describes them, then a footer that points at the list. Every number is
// big-endian.
//
//   footer, version 1: the last 8 bytes: "NERO", u32 offset of the first chunk
//   footer, version 2: the last 12 bytes: "NER5", u64 offset of the first chunk
//   chunk: 4-byte id, u32 size of its data, the data; the list ends at "END!"
//
//   DAOI (v1) / DAOX (v2), a session written at once:
//     u32 size again, 14 bytes UPC, u16 TOC type, u8 first track, u8 last track
//     (22 bytes), then one entry per track, 30 bytes (DAOI) or 42 (DAOX):
//       12 bytes ISRC, u16 sector size in the file (2048, 2336, 2352, 2448),
//       u8 mode (below), 3 bytes unknown,
//       offsets in the file of INDEX 00 (the pregap), INDEX 01 and the
//       track's end: u32 each (DAOI) or u64 each (DAOX)
//   ETNF (v1) / ETN2 (v2), tracks written one at a time:
//     20-byte entries (ETNF): u32 offset, u32 bytes, u32 mode, u32 start
//     address, u32 unknown; 32-byte entries (ETN2): u64 offset, u64 bytes,
//     u32 mode, u32 start address, u32 unknown, u32 sectors
//   CUES / CUEX: cue points, 8 bytes each (mode, track and index in BCD, 0,
//     then the address: CUEX a signed u32 address (-150 before track 1)).
//   SINF (tracks in a session), MTYP (media type), CDTX, DINF, ...: not needed.
//
//   modes: 0x00 mode 1, 2048 bytes; 0x02 mode 2 form 1, 2048; 0x03 mode 2,
//   2336; 0x05 mode 1 raw, 2352; 0x06 mode 2 raw, 2352; 0x07 audio, 2352;
//   0x0F, 0x10, 0x11 the raw ones with 96 bytes of subchannel (2448).
//
// Not certain, so checked rather than trusted: where the mode byte lies in a
// DAO entry (so a 2352-byte track is told data or audio by its first
// sector's sync and header, the mode byte only where there is none), and
// whether a TAO entry's start address counts the 150 sectors before track 1
// (taken as it stands). Every offset is checked against where the chunks
// begin; a DAO track's address comes from CUEX where there is one, else from
// the sectors of the tracks before it.
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "base/byte_reader.h"
#include "media/image_file.h"

namespace tarn::media::detail {

namespace {

uint64_t U64Be(ByteReader& r)
{
    uint64_t high = r.U32Be();
    return high << 32 | r.U32Be();
}

struct NeroTrack {
    int Number = 0;
    int Mode = 0;
    int64_t SectorBytes = 0, Pregap = 0, Index1 = 0, End = 0;
    std::optional<int64_t> Start;
};

} // namespace

std::unique_ptr<SectorSource> OpenNeroImage(const AnsiString& path)
{
    int64_t size = SizeOf(path);
    if (size < 0)
        Fail(path, u8"ファイルがないか、開けません");
    uint8_t foot[12] = {};
    if (size < 12 || !ReadAt(path, size - 12, foot, 12))
        Fail(path, u8"Nero のイメージではありません (短すぎます)");
    ByteReader footer(foot, 12);
    int64_t chunks = 0, chunksEnd = 0;
    if (std::memcmp(foot + 4, "NERO", 4) == 0) {
        footer.Seek(8), chunks = footer.U32Be(), chunksEnd = size - 8;
    } else if (std::memcmp(foot, "NER5", 4) == 0) {
        footer.Seek(4);
        uint64_t at = U64Be(footer);
        chunks = at > static_cast<uint64_t>(size) ? size : static_cast<int64_t>(at), chunksEnd = size - 12;
    } else {
        Fail(path, u8"Nero のイメージではありません (終わりに NERO も NER5 もありません)");
    }
    if (chunks >= chunksEnd || chunksEnd - chunks > (16 << 20))
        Fail(path, u8"Nero のチャンクの位置 (%d バイト目) が壊れています", { static_cast<long long>(chunks) });
    std::string list(static_cast<size_t>(chunksEnd - chunks), '\0');
    if (!ReadAt(path, chunks, list.data(), chunksEnd - chunks))
        Fail(path, u8"読み込めません");

    std::vector<NeroTrack> tracks;
    std::map<int, int64_t> cueStarts; // track -> INDEX 01 address (CUEX)
    ByteReader r(list);
    try {
        while (r.Remaining() >= 8) {
            std::string_view id = r.Take(4);
            uint32_t bytes = r.U32Be();
            if (id == "END!")
                break;
            if (bytes > r.Remaining()) {
                std::string shown(id);
                for (char& ch : shown)
                    ch = ch >= 0x20 && ch < 0x7F ? ch : '?';
                Fail(path, u8"Nero のチャンク %s の大きさ (%u バイト) がファイルに収まりません",
                     { shown, static_cast<unsigned long>(bytes) });
            }
            ByteReader c(r.Take(bytes));
            bool v2 = id == "DAOX" || id == "ETN2";
            if (id == "DAOI" || id == "DAOX") {
                c.Skip(20);
                int number = c.U8();
                c.U8();
                for (size_t n = c.Remaining() / (v2 ? 42 : 30); n > 0; --n, ++number) {
                    NeroTrack t;
                    t.Number = number;
                    c.Skip(12);
                    t.SectorBytes = c.U16Be();
                    t.Mode = c.U8();
                    c.Skip(3);
                    for (int64_t* field : { &t.Pregap, &t.Index1, &t.End }) {
                        uint64_t v = v2 ? U64Be(c) : c.U32Be();
                        *field = v > static_cast<uint64_t>(chunks) ? -1 : static_cast<int64_t>(v);
                    }
                    tracks.push_back(t);
                }
            } else if (id == "ETNF" || id == "ETN2") {
                for (size_t n = c.Remaining() / (v2 ? 32 : 20); n > 0; --n) {
                    NeroTrack t;
                    t.Number = tracks.empty() ? 1 : tracks.back().Number + 1;
                    uint64_t offset = v2 ? U64Be(c) : c.U32Be(), length = v2 ? U64Be(c) : c.U32Be();
                    t.Mode = static_cast<int>(c.U32Be());
                    t.Start = c.U32Be();
                    c.Skip(v2 ? 8 : 4);
                    t.SectorBytes = t.Mode == 0 || t.Mode == 2 ? 2048 : t.Mode == 3 ? 2336 : t.Mode >= 0x0F ? 2448 : 2352;
                    bool fits = offset <= static_cast<uint64_t>(chunks) && length <= static_cast<uint64_t>(chunks) - offset;
                    t.Pregap = t.Index1 = fits ? static_cast<int64_t>(offset) : -1;
                    t.End = fits ? static_cast<int64_t>(offset + length) : -1;
                    tracks.push_back(t);
                }
            } else if (id == "CUEX") {
                while (c.Remaining() >= 8) {
                    c.U8();
                    int track = c.U8(), index = c.U8();
                    c.U8();
                    int64_t address = static_cast<int32_t>(c.U32Be());
                    if (index == 1 && track >= 1 && track <= 0x99)
                        cueStarts[(track >> 4) * 10 + (track & 15)] = address;
                }
            }
            if (tracks.size() > 99)
                Fail(path, u8"Nero のトラックが多すぎます");
        }
    } catch (const EMediaError&) {
        throw;
    } catch (const EReadError&) {
        Fail(path, u8"Nero のチャンクが途中で切れています");
    }
    if (tracks.empty())
        Fail(path, u8"Nero のトラック表 (DAOI, DAOX, ETNF, ETN2) がありません");

    SourceInfo info{ "nrg", path, {}, -1 };
    int64_t next = 0; // the address after the previous track
    for (const NeroTrack& t : tracks) {
        if (t.Pregap < 0 || t.Pregap > t.Index1 || t.Index1 > t.End ||
            (t.SectorBytes != 2048 && t.SectorBytes != 2336 && t.SectorBytes != 2352 && t.SectorBytes != 2448))
            Fail(path, u8"Nero のトラック %d の表が壊れているか、チャンクの位置を越えています", { t.Number });
        SectorFormat format = t.SectorBytes == 2048   ? SectorFormat::Cooked2048
                            : t.SectorBytes == 2336 ? SectorFormat::Mode2Cooked
                                                    : SniffRawSector(path, t.Index1);
        if (format == SectorFormat::Audio && (t.Mode == 5 || t.Mode == 6)) // data without headers: by the mode
            format = t.Mode == 5 ? SectorFormat::Mode1Raw : SectorFormat::Mode2Raw;
        if (t.SectorBytes == 2448 && format != SectorFormat::Audio && info.DataTrack < 0)
            Fail(path, u8"トラック %d はサブチャンネル付き (2448 バイトのセクタ) で、読めません", { t.Number });
        int64_t sectors = (t.End - t.Index1) / t.SectorBytes;
        int64_t start = t.Start ? *t.Start
                      : cueStarts.count(t.Number) ? cueStarts[t.Number]
                                                  : (info.Tracks.empty() ? 0 : next + (t.Index1 - t.Pregap) / t.SectorBytes);
        next = start + sectors;
        if (info.DataTrack < 0 && format != SectorFormat::Audio)
            info.DataTrack = static_cast<int>(info.Tracks.size());
        info.Tracks.push_back({ t.Number, format, path, t.Index1, start, sectors });
    }
    if (info.DataTrack < 0)
        Fail(path, u8"データトラックがありません");
    return MakeTrackSource(std::move(info));
}

} // namespace tarn::media::detail
