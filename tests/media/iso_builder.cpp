#include "iso_builder.h"

#include <cstring>

namespace tarn::isotest {

namespace {

void Both32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i));
    for (int i = 3; i >= 0; --i)
        out += static_cast<char>(v >> (8 * i));
}

void Both16(std::string& out, uint16_t v)
{
    out += static_cast<char>(v), out += static_cast<char>(v >> 8);
    out += static_cast<char>(v >> 8), out += static_cast<char>(v);
}

std::vector<Rec> WithDots(uint32_t self, uint32_t selfBytes, uint32_t parent, uint32_t parentBytes,
                          const std::vector<Rec>& records, std::string_view dotSystemUse)
{
    std::vector<Rec> all{ { std::string(1, '\0'), self, selfBytes, kDir, std::string(dotSystemUse) },
                          { std::string(1, '\1'), parent, parentBytes, kDir } };
    all.insert(all.end(), records.begin(), records.end());
    return all;
}

std::string Pack(const std::vector<Rec>& records)
{
    std::string out, sector;
    for (const Rec& r : records) {
        std::string bytes = Record(r);
        if (sector.size() + bytes.size() > 2048)
            out += sector + std::string(2048 - sector.size(), '\0'), sector.clear();
        sector += bytes;
    }
    return out + sector + std::string(2048 - sector.size(), '\0');
}

} // namespace

std::string Record(const Rec& rec)
{
    std::string out;
    out += '\0';
    out += '\0';
    Both32(out, rec.sector);
    Both32(out, rec.bytes);
    out.append(reinterpret_cast<const char*>(kDate.data()), 7);
    out += static_cast<char>(rec.flags);
    out += '\0', out += '\0';
    Both16(out, 1);
    out += static_cast<char>(rec.name.size());
    out += rec.name;
    if (out.size() % 2)
        out += '\0';
    out += rec.systemUse;
    if (out.size() % 2)
        out += '\0';
    out[0] = static_cast<char>(rec.lengthOverride >= 0 ? rec.lengthOverride : static_cast<int>(out.size()));
    return out;
}

uint32_t DirectoryBytes(const std::vector<Rec>& records, std::string_view dotSystemUse)
{
    return static_cast<uint32_t>(Pack(WithDots(0, 0, 0, 0, records, dotSystemUse)).size());
}

std::string Directory(uint32_t self, uint32_t parent, uint32_t parentBytes, const std::vector<Rec>& records,
                      std::string_view dotSystemUse)
{
    return Pack(WithDots(self, DirectoryBytes(records, dotSystemUse), parent, parentBytes, records, dotSystemUse));
}

std::string Descriptor(uint8_t type, const Rec& root, uint32_t volumeSectors, std::string_view volumeId, uint16_t blockSize)
{
    std::string d(2048, '\0');
    d[0] = static_cast<char>(type);
    std::memcpy(&d[1], "CD001\x01", 6);
    std::string id = type == 2 ? Ucs2(std::u16string(16, u' ')) : std::string(32, ' ');
    id.replace(0, volumeId.size(), volumeId);
    d.replace(40, 32, id);
    std::string sizes;
    Both32(sizes, volumeSectors);
    d.replace(80, 8, sizes);
    if (type == 2)
        d.replace(88, 3, "%/E");
    std::string fields;
    Both16(fields, 1), Both16(fields, 1), Both16(fields, blockSize);
    d.replace(120, 12, fields);
    Rec r = root;
    r.name = std::string(1, '\0');
    r.flags = kDir;
    d.replace(156, 34, Record(r));
    d[881] = 1;
    return d;
}

std::string Terminator()
{
    std::string d(2048, '\0');
    d[0] = static_cast<char>(255);
    std::memcpy(&d[1], "CD001\x01", 6);
    return d;
}

std::string Ucs2(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text)
        out += static_cast<char>(c >> 8), out += static_cast<char>(c & 0xFF);
    return out;
}

void Image::Put(uint32_t sector, std::string_view bytes)
{
    size_t at = static_cast<size_t>(sector) * 2048;
    size_t end = at + (bytes.size() + 2047) / 2048 * 2048;
    if (bytes_.size() < end)
        bytes_.resize(end, '\0');
    bytes_.replace(at, bytes.size(), bytes);
}

MemorySource::MemorySource(std::string bytes) : bytes_(std::move(bytes))
{
    info_.Container = "iso";
    info_.Path = "memory.iso";
}

void MemorySource::ReadSectors(int64_t first, int64_t count, uint8_t* buffer)
{
    ++Reads;
    if (first < 0 || count < 0 || first + count > SectorCount())
        throw media::EMediaError(u8"ディスクイメージ %s の %d 番目のセクタは読み込めません", { info_.Path, first + count - 1 });
    std::memcpy(buffer, bytes_.data() + first * media::kSectorSize, static_cast<size_t>(count * media::kSectorSize));
}

} // namespace tarn::isotest
