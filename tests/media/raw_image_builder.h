// Disc images assembled by the tests themselves: sectors whose user bytes
// tell their number, wrapped as the containers store them (raw sectors with
// sync, header and EDC; cue sheets, CloneCD and Nero files around them).
// ECC bytes stay zero: no reader checks them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/sector_source.h"

namespace tarn::mediatest {

using media::SectorFormat;

// The 2048 user bytes of sector n of a data track: n (little-endian, 8
// bytes), then (n * 7 + i) & 0xFF at byte i; sector 16 starts with
// "\x01CD001" as a volume descriptor does.
std::string UserData(int64_t n);
// The CD-ROM EDC: CRC-32 with the polynomial x^32+x^31+x^16+x^15+x^4+x^3+x+1
// (0xD8018001 in its reversed form), starting at 0, no final inversion.
uint32_t CdEdc(std::string_view bytes);
// One sector as a track of that format stores it: 2048 user bytes (Cooked2048),
// 2352 raw bytes for disc address lba (Mode1Raw, Mode2Raw form 1), 2336 bytes
// of subheader and form 1 (Mode2Cooked), 2352 bytes of sound (Audio: no sync).
std::string StoredSector(SectorFormat format, int64_t lba, std::string_view user);
// count sectors of a track starting at disc address startLba: data tracks
// hold UserData(0..count-1).
std::string Track(SectorFormat format, int64_t startLba, int64_t count);
// Bytes of sector size of that format.
int StoredBytes(SectorFormat format);

// Nero chunks and footers (big-endian numbers).
std::string Be32(uint64_t v);
std::string Be64(uint64_t v);
std::string Be16(uint64_t v);
std::string Chunk(std::string_view id, std::string_view data);
struct NeroDaoTrack {
    int SectorBytes = 2048;
    int Mode = 0;
    uint64_t Pregap = 0, Index1 = 0, End = 0;
};
// A DAOI (v2 false) or DAOX chunk's data.
std::string NeroDao(bool v2, int firstTrack, const std::vector<NeroDaoTrack>& tracks);
struct NeroTaoTrack {
    uint64_t Offset = 0, Length = 0;
    uint32_t Mode = 0, Start = 0;
};
// An ETNF (v2 false) or ETN2 chunk's data.
std::string NeroTao(bool v2, const std::vector<NeroTaoTrack>& tracks);
// The image: sectors, then the chunks (END! added), then the footer.
std::string NeroImage(bool v2, std::string_view sectors, const std::vector<std::string>& chunks);

} // namespace tarn::mediatest
