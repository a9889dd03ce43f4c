#include "raw_image_builder.h"

#include <array>

namespace tarn::mediatest {

std::string UserData(int64_t n)
{
    std::string s(2048, '\0');
    for (int i = 0; i < 2048; ++i)
        s[i] = static_cast<char>((n * 7 + i) & 0xFF);
    for (int i = 0; i < 8; ++i)
        s[i] = static_cast<char>(static_cast<uint64_t>(n) >> (8 * i));
    if (n == 16)
        s.replace(0, 6, "\x01" "CD001");
    return s;
}

uint32_t CdEdc(std::string_view bytes)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t v = i;
            for (int k = 0; k < 8; ++k)
                v = (v >> 1) ^ ((v & 1) ? 0xD8018001u : 0);
            t[i] = v;
        }
        return t;
    }();
    uint32_t edc = 0;
    for (char c : bytes)
        edc = (edc >> 8) ^ table[(edc ^ static_cast<uint8_t>(c)) & 0xFF];
    return edc;
}

namespace {

char Bcd(int v) { return static_cast<char>((v / 10) << 4 | (v % 10)); }

void PutLe32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (8 * i));
}

} // namespace

int StoredBytes(SectorFormat format)
{
    return format == SectorFormat::Cooked2048 ? 2048 : format == SectorFormat::Mode2Cooked ? 2336 : 2352;
}

std::string StoredSector(SectorFormat format, int64_t lba, std::string_view user)
{
    if (format == SectorFormat::Cooked2048)
        return std::string(user);
    std::string s(2352, '\0');
    if (format == SectorFormat::Audio) {
        for (int i = 0; i < 2352; ++i)
            s[i] = static_cast<char>((lba * 3 + i * 5) & 0xFF);
        return s;
    }
    // sync 00 FF*10 00; header: minute, second, frame (BCD) of lba + 150, mode
    for (int i = 1; i <= 10; ++i)
        s[i] = '\xFF';
    int64_t a = lba + 150;
    s[12] = Bcd(static_cast<int>(a / 4500)), s[13] = Bcd(static_cast<int>(a / 75 % 60)), s[14] = Bcd(static_cast<int>(a % 75));
    if (format == SectorFormat::Mode1Raw) {
        s[15] = 1;
        s.replace(16, 2048, user);
        PutLe32(s, 2064, CdEdc(std::string_view(s).substr(0, 2064)));
        return s; // 2068..2075 zero, 2076..2351 ECC left zero
    }
    // Mode 2 form 1: subheader (file, channel, submode 0x08 = data, coding) twice
    s[15] = 2;
    s[18] = s[22] = 0x08;
    s.replace(24, 2048, user);
    PutLe32(s, 2072, CdEdc(std::string_view(s).substr(16, 2072 - 16)));
    return format == SectorFormat::Mode2Cooked ? s.substr(16) : s;
}

std::string Track(SectorFormat format, int64_t startLba, int64_t count)
{
    std::string out;
    out.reserve(static_cast<size_t>(count * StoredBytes(format)));
    for (int64_t n = 0; n < count; ++n)
        out += StoredSector(format, startLba + n, UserData(n));
    return out;
}

std::string Be16(uint64_t v) { return { static_cast<char>(v >> 8), static_cast<char>(v) }; }
std::string Be32(uint64_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Be64(uint64_t v) { return Be32(v >> 32) + Be32(v & 0xFFFFFFFF); }

std::string Chunk(std::string_view id, std::string_view data)
{
    return std::string(id) + Be32(data.size()) + std::string(data);
}

std::string NeroDao(bool v2, int firstTrack, const std::vector<NeroDaoTrack>& tracks)
{
    size_t size = 8 + 22 + tracks.size() * (v2 ? 42 : 30);
    std::string d = Be32(size) + std::string(14, '\0') + Be16(0) + static_cast<char>(firstTrack) +
                    static_cast<char>(firstTrack + tracks.size() - 1);
    for (const NeroDaoTrack& t : tracks) {
        d += std::string(12, '\0') + Be16(t.SectorBytes) + static_cast<char>(t.Mode) + std::string("\0\0\x01", 3);
        for (uint64_t v : { t.Pregap, t.Index1, t.End })
            d += v2 ? Be64(v) : Be32(v);
    }
    return d;
}

std::string NeroTao(bool v2, const std::vector<NeroTaoTrack>& tracks)
{
    std::string d;
    for (const NeroTaoTrack& t : tracks) {
        d += v2 ? Be64(t.Offset) + Be64(t.Length) : Be32(t.Offset) + Be32(t.Length);
        d += Be32(t.Mode) + Be32(t.Start) + Be32(0);
        if (v2)
            d += Be32(t.Length / (t.Mode == 0 ? 2048 : 2352));
    }
    return d;
}

std::string NeroImage(bool v2, std::string_view sectors, const std::vector<std::string>& chunks)
{
    std::string image(sectors);
    uint64_t at = image.size();
    for (const std::string& c : chunks)
        image += c;
    image += Chunk("END!", "");
    image += v2 ? "NER5" + Be64(at) : "NERO" + Be32(at);
    return image;
}

} // namespace tarn::mediatest
