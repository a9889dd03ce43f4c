// CloneCD: a control file (.ccd, INI-like text) beside an image (.img) of
// every sector of the disc as 2352 raw bytes from address 0 on (the .sub of
// subchannel data is not read). The tracks come from the table-of-contents
// entries: [Entry N] with Point 1..99 is a track starting at PLBA (or at
// PMin:PSec:PFrame less 150), Control bit 0x04 marking data; Point 0xA2 is a
// session's lead-out, where its last track ends. A track lies in the image
// at its address times 2352. [TRACK N] MODE=0/1/2 tells audio, mode 1 or
// mode 2 (form 1 is read); without it the sectors' own headers tell. A file
// without track entries takes the tracks from [TRACK N]'s INDEX 1 instead.
#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "base/path.h"
#include "media/image_file.h"
#include "platform/platform.h"

namespace tarn::media::detail {

namespace {

std::optional<int64_t> ParseValue(std::string_view v)
{
    bool negative = !v.empty() && v[0] == '-';
    if (negative)
        v.remove_prefix(1);
    int base = 10;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X'))
        base = 16, v.remove_prefix(2);
    if (v.empty() || v.size() > 10)
        return std::nullopt;
    int64_t n = 0;
    for (char c : v) {
        int d = c >= '0' && c <= '9' ? c - '0' : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
              : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0)
            return std::nullopt;
        n = n * base + d;
    }
    return negative ? -n : n;
}

using Section = std::map<AnsiString, int64_t>; // key (upper case) -> value

struct CcdTrack {
    int Number = 0;
    bool Data = false;
    int Session = 1;
    int64_t Lba = 0;
};

} // namespace

std::unique_ptr<SectorSource> OpenCloneCd(const AnsiString& ccdPath, const AnsiString& opened)
{
    std::string text = ReadSmallFile(ccdPath, 1 << 20);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    // Sections in file order, named in upper case ("ENTRY 3", "TRACK 1").
    std::vector<std::pair<AnsiString, Section>> sections;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        size_t b = line.find_first_not_of(" \t\r"), e = line.find_last_not_of(" \t\r");
        if (b == std::string_view::npos)
            continue;
        line = line.substr(b, e - b + 1);
        if (line.front() == '[' && line.back() == ']') {
            sections.emplace_back(AnsiUpperCase(line.substr(1, line.size() - 2)), Section());
        } else if (size_t eq = line.find('='); eq != std::string_view::npos && !sections.empty()) {
            std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
            key = key.substr(0, key.find_last_not_of(" \t") + 1);
            value = value.substr(std::min(value.find_first_not_of(" \t"), value.size()));
            if (auto v = ParseValue(value))
                sections.back().second[AnsiUpperCase(key)] = *v;
        }
    }
    if (std::none_of(sections.begin(), sections.end(), [](auto& s) { return s.first == "CLONECD"; }))
        Fail(ccdPath, u8"CloneCD の制御ファイルではありません ([CloneCD] がありません)");

    std::vector<CcdTrack> tracks;
    std::map<int, int64_t> leadOuts; // session -> address
    std::map<int, int> modes;        // track -> MODE of [TRACK N]
    std::vector<CcdTrack> sectionTracks; // from [TRACK N] INDEX 1, where the entries have none
    for (auto& section : sections) {
        const std::string& name = section.first;
        auto& keys = section.second;
        auto get = [&](const char* key, int64_t otherwise) {
            auto it = keys.find(key);
            return it == keys.end() ? otherwise : it->second;
        };
        if (name.starts_with("TRACK ")) {
            auto n = ParseValue(std::string_view(name).substr(6));
            if (n && keys.count("MODE"))
                modes[static_cast<int>(*n)] = static_cast<int>(keys["MODE"]);
            if (n && *n >= 1 && *n <= 99 && keys.count("INDEX 1"))
                sectionTracks.push_back({ static_cast<int>(*n), get("MODE", 0) != 0, 1, keys["INDEX 1"] });
            continue;
        }
        if (!name.starts_with("ENTRY ") || !keys.count("POINT"))
            continue;
        int64_t point = keys["POINT"];
        int64_t msf = (get("PMIN", 0) * 60 + get("PSEC", 0)) * 75 + get("PFRAME", 0) - 150;
        int64_t lba = get("PLBA", msf);
        int session = static_cast<int>(get("SESSION", 1));
        if (point == 0xA2)
            leadOuts[session] = lba;
        else if (point >= 1 && point <= 99 &&
                 std::none_of(tracks.begin(), tracks.end(), [&](const CcdTrack& t) { return t.Number == point; }))
            tracks.push_back({ static_cast<int>(point), (get("CONTROL", 0) & 4) != 0, session, lba });
    }
    if (tracks.empty()) // no table of contents: the [TRACK N] sections' INDEX 1
        tracks = sectionTracks;
    if (tracks.empty())
        Fail(ccdPath, u8"トラックがありません");
    std::sort(tracks.begin(), tracks.end(), [](const CcdTrack& a, const CcdTrack& b) { return a.Lba < b.Lba; });

    AnsiString image = ChangeFileExt(ccdPath, ".img");
    if (!platform::FileExists(image) && platform::FileExists(ChangeFileExt(ccdPath, ".IMG")))
        image = ChangeFileExt(ccdPath, ".IMG");
    int64_t size = SizeOf(image);
    if (size < 0)
        Fail(ccdPath, u8"イメージファイル %s がありません", { image });

    SourceInfo info{ "ccd", opened, {}, -1 };
    for (size_t i = 0; i < tracks.size(); ++i) {
        const CcdTrack& t = tracks[i];
        if (t.Lba < 0 || t.Lba > size / 2352)
            Fail(ccdPath, u8"トラック %d (アドレス %d) がイメージファイルの外です", { t.Number, static_cast<long long>(t.Lba) });
        int64_t end = i + 1 < tracks.size() && tracks[i + 1].Session == t.Session ? tracks[i + 1].Lba
                    : leadOuts.count(t.Session)                                  ? leadOuts[t.Session]
                                                                                 : size / 2352;
        SectorFormat format = SectorFormat::Audio;
        if (auto mode = modes.find(t.Number); mode != modes.end())
            format = mode->second == 1 ? SectorFormat::Mode1Raw : mode->second == 2 ? SectorFormat::Mode2Raw : SectorFormat::Audio;
        else if (t.Data) // the header's mode byte; mode 1 where there is none
            format = SniffRawSector(image, t.Lba * 2352) == SectorFormat::Mode2Raw ? SectorFormat::Mode2Raw
                                                                                   : SectorFormat::Mode1Raw;
        if (info.DataTrack < 0 && format != SectorFormat::Audio)
            info.DataTrack = static_cast<int>(info.Tracks.size());
        info.Tracks.push_back({ t.Number, format, image, t.Lba * 2352, t.Lba, end - t.Lba });
    }
    if (info.DataTrack < 0)
        Fail(ccdPath, u8"データトラックがありません");
    return MakeTrackSource(std::move(info));
}

} // namespace tarn::media::detail
