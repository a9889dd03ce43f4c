// ISO 9660 images assembled by the tests themselves, record by record, so
// that they can hold what no authoring tool writes: CP932 bytes in primary
// names, multi-extent files, records that lie. Also the sector sources the
// reader's tests read through.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/sector_source.h"

namespace tarn::isotest {

constexpr uint8_t kDir = 0x02, kHidden = 0x01, kAssociated = 0x04, kMore = 0x80;

// 2001-02-03 04:05:06 at GMT+9.
constexpr std::array<uint8_t, 7> kDate = { 101, 2, 3, 4, 5, 6, 36 };

struct Rec {
    Rec(std::string n, uint32_t s, uint32_t b, uint8_t f = 0, std::string su = {}, int length = -1)
        : name(std::move(n)), sector(s), bytes(b), flags(f), systemUse(std::move(su)), lengthOverride(length) { }
    std::string name; // as stored: CP932 bytes with ";1", or UCS-2 big-endian
    uint32_t sector;
    uint32_t bytes;
    uint8_t flags;
    std::string systemUse;
    int lengthOverride; // the length byte, when it is to lie
};

// One directory record (padded to an even length).
std::string Record(const Rec& rec);
// A directory's sectors: "." and ".." first (self/parent), then records, none
// crossing a sector. dotSystemUse goes into ".".
std::string Directory(uint32_t self, uint32_t parent, uint32_t parentBytes, const std::vector<Rec>& records,
                      std::string_view dotSystemUse = {});
// The size Directory gives for these records.
uint32_t DirectoryBytes(const std::vector<Rec>& records, std::string_view dotSystemUse = {});
// A volume descriptor: primary (type 1) or Joliet (type 2, escape "%/E").
std::string Descriptor(uint8_t type, const Rec& root, uint32_t volumeSectors, std::string_view volumeId,
                       uint16_t blockSize = 2048);
std::string Terminator();
// UCS-2 big-endian bytes of UTF-16 text.
std::string Ucs2(std::u16string_view text);

// An image in memory, sector by sector.
class Image {
public:
    void Put(uint32_t sector, std::string_view bytes);
    std::string& Bytes() { return bytes_; }

private:
    std::string bytes_;
};

// Sectors from bytes in memory (a partial last sector is cut off, as a
// container would), counting the reads.
class MemorySource : public media::SectorSource {
public:
    explicit MemorySource(std::string bytes);
    int64_t SectorCount() const override { return static_cast<int64_t>(bytes_.size()) / media::kSectorSize; }
    void ReadSectors(int64_t first, int64_t count, uint8_t* buffer) override;
    const media::SourceInfo& Info() const override { return info_; }
    std::atomic<int> Reads{ 0 };

private:
    std::string bytes_;
    media::SourceInfo info_;
};

} // namespace tarn::isotest
