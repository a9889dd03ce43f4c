// Cue sheets: FILE, TRACK, INDEX, PREGAP and POSTGAP; everything else is
// ignored. Each FILE has its own timeline (INDEX times count from its start);
// a track runs from its INDEX 01 to the next track's INDEX 00 (or 01) in the
// same file, the last track of a file to the file's end. PREGAP and POSTGAP
// take disc addresses but no bytes of the file. A FILE name (relative to the
// sheet's folder) is tried as host UTF-8 first, then as CP932 bytes, then
// either with its letter case ignored.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "media/image_file.h"
#include "platform/platform.h"

namespace tarn::media::detail {

namespace {

struct CueFile {
    AnsiString Path;
    bool Wave = false;
};

struct CueTrack {
    int Number = 0;
    SectorFormat Format = SectorFormat::Audio;
    int Stride = 2352;
    size_t File = 0;
    int64_t Index0 = -1, Index1 = -1, Pregap = 0, Postgap = 0;
};

bool ValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// The program path of a FILE name: relative to the sheet's folder unless
// absolute; read as host UTF-8 first, then as CP932, whichever names a file
// that is there (the first when neither does, for the message).
AnsiString ResolveName(const AnsiString& sheet, const std::string& name)
{
    std::vector<AnsiString> candidates;
    bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && ValidUtf8(name))
        candidates.push_back(HostUtf8ToAnsi(name));
    candidates.push_back(name);
    for (AnsiString& c : candidates) {
        if (c.starts_with('/')) { // a POSIX host path
            c = platform::PathFromHost(AnsiToHostUtf8(c));
        } else {
            for (char& ch : c) // 0x2F is no byte of a two-byte character in CP932
                if (ch == '/')
                    ch = '\\';
            if (!(c.size() >= 2 && c[1] == ':') && !c.starts_with('\\'))
                c = ExtractFilePath(sheet) + c;
        }
        c = NormalizedPath(c);
    }
    for (const AnsiString& c : candidates)
        if (platform::FileExists(c))
            return c;
    // A sheet made on Windows may spell the name in another case than the file has (POSIX).
    for (const AnsiString& c : candidates) {
        AnsiString folder = ExtractFilePath(c), file = ExtractFileName(c);
        platform::DirectoryReader reader(folder, false);
        for (platform::DirEntry e; reader.Next(e);)
            if (!(e.Attributes & faDirectory) && SameText(e.Name, file))
                return folder + e.Name;
    }
    return candidates.front();
}

// mm:ss:ff as frames (75 a second); nullopt when malformed.
std::optional<int64_t> ParseMsf(std::string_view text)
{
    int64_t part[3] = {};
    int n = 0, digits = 0;
    for (char c : text) {
        if (c == ':') {
            if (++n > 2 || digits == 0)
                return std::nullopt;
            digits = 0;
        } else if (c >= '0' && c <= '9' && ++digits <= 4) {
            part[n] = part[n] * 10 + (c - '0');
        } else {
            return std::nullopt;
        }
    }
    if (n != 2 || digits == 0 || part[1] >= 60 || part[2] >= 75)
        return std::nullopt;
    return (part[0] * 60 + part[1]) * 75 + part[2];
}

std::optional<int> ParseNumber(std::string_view text, int max)
{
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v <= max ? std::optional<int>(v) : std::nullopt;
}

// Splits a line into words; a word in double quotes may hold blanks.
std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            return words;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos)
                end = line.size();
            words.emplace_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = line.find_first_of(" \t", i);
            if (end == std::string_view::npos)
                end = line.size();
            words.emplace_back(line.substr(i, end - i));
            i = end;
        }
    }
}

// The name of a FILE line and its type: a quoted name, or everything up to
// the last word (an unquoted name with blanks in it).
void SplitFileLine(std::string_view rest, std::string& name, std::string& type)
{
    size_t start = rest.find_first_not_of(" \t");
    rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
    if (!rest.empty() && rest[0] == '"') {
        size_t end = rest.find('"', 1);
        name = rest.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
        auto after = Words(end == std::string_view::npos ? std::string_view() : rest.substr(end + 1));
        type = after.empty() ? "BINARY" : after[0];
        return;
    }
    size_t last = rest.find_last_not_of(" \t");
    rest = last == std::string_view::npos ? std::string_view() : rest.substr(0, last + 1);
    size_t blank = rest.find_last_of(" \t");
    if (blank == std::string_view::npos) {
        name = rest, type = "BINARY";
    } else {
        type = rest.substr(blank + 1);
        std::string_view n = rest.substr(0, blank);
        name = n.substr(0, n.find_last_not_of(" \t") + 1);
    }
}

bool TrackMode(const std::string& mode, SectorFormat& format, int& stride)
{
    static const struct { const char* Name; SectorFormat Format; int Stride; } kModes[] = {
        { "MODE1/2048", SectorFormat::Cooked2048, 2048 }, { "MODE1/2352", SectorFormat::Mode1Raw, 2352 },
        { "MODE2/2352", SectorFormat::Mode2Raw, 2352 },   { "MODE2/2336", SectorFormat::Mode2Cooked, 2336 },
        { "MODE2/2048", SectorFormat::Cooked2048, 2048 }, { "CDI/2352", SectorFormat::Mode2Raw, 2352 },
        { "CDI/2336", SectorFormat::Mode2Cooked, 2336 },  { "AUDIO", SectorFormat::Audio, 2352 },
        { "CDG", SectorFormat::Audio, 2448 },
    };
    for (const auto& m : kModes)
        if (SameText(mode, m.Name))
            return format = m.Format, stride = m.Stride, true;
    return false;
}

// Where the sound of a WAVE file lies: its "data" chunk (offset, bytes).
std::pair<int64_t, int64_t> WaveData(const AnsiString& sheet, const AnsiString& path, int64_t size)
{
    uint8_t h[12];
    if (!ReadAt(path, 0, h, 12) || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0)
        Fail(sheet, u8"%s は WAVE ファイルではありません", { path });
    for (int64_t at = 12, chunks = 0; at + 8 <= size && chunks < 64; ++chunks) {
        if (!ReadAt(path, at, h, 8))
            break;
        int64_t bytes = h[4] | h[5] << 8 | h[6] << 16 | static_cast<int64_t>(h[7]) << 24;
        if (std::memcmp(h, "data", 4) == 0)
            return { at + 8, std::min(bytes, size - at - 8) };
        at += 8 + bytes + (bytes & 1);
    }
    Fail(sheet, u8"%s に音のデータがありません", { path });
}

} // namespace

std::unique_ptr<SectorSource> OpenCueSheet(const AnsiString& path)
{
    std::string text = ReadSmallFile(path, 1 << 20);
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    size_t lineStart = 0;
    for (int lineNo = 1; lineStart < text.size(); ++lineNo) {
        size_t end = text.find('\n', lineStart);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + lineStart, end - lineStart);
        lineStart = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        auto words = Words(line);
        if (words.empty())
            continue;
        const std::string& key = words[0];
        auto bad = [&] { Fail(path, u8"%d 行目が読めません", { lineNo }); };
        if (SameText(key, "FILE")) {
            std::string name, type;
            size_t keyEnd = line.find_first_not_of(" \t") + key.size(); // the name and type follow the keyword
            SplitFileLine(line.substr(keyEnd), name, type);
            if (name.empty())
                bad();
            if (!SameText(type, "BINARY") && !SameText(type, "MOTOROLA") && !SameText(type, "WAVE"))
                Fail(path, u8"%d 行目: ファイルの種類 %s は読めません", { lineNo, type });
            files.push_back({ ResolveName(path, name), SameText(type, "WAVE") });
        } else if (SameText(key, "TRACK")) {
            CueTrack t;
            std::optional<int> number = words.size() >= 3 ? ParseNumber(words[1], 99) : std::nullopt;
            if (files.empty() || !number || *number < 1 || !TrackMode(words[2], t.Format, t.Stride))
                bad();
            if (tracks.size() >= 99)
                Fail(path, u8"トラックが多すぎます");
            t.Number = *number, t.File = files.size() - 1;
            tracks.push_back(t);
        } else if (SameText(key, "INDEX")) {
            std::optional<int> number = words.size() >= 3 ? ParseNumber(words[1], 99) : std::nullopt;
            std::optional<int64_t> at = words.size() >= 3 ? ParseMsf(words[2]) : std::nullopt;
            if (tracks.empty() || !number || !at)
                bad();
            if (*number == 0)
                tracks.back().Index0 = *at;
            else if (*number == 1)
                tracks.back().Index1 = *at;
        } else if (SameText(key, "PREGAP") || SameText(key, "POSTGAP")) {
            std::optional<int64_t> length = words.size() >= 2 ? ParseMsf(words[1]) : std::nullopt;
            if (tracks.empty() || !length)
                bad();
            (SameText(key, "PREGAP") ? tracks.back().Pregap : tracks.back().Postgap) = *length;
        }
        // REM, CATALOG, PERFORMER, TITLE, FLAGS, ISRC, CDTEXTFILE, SONGWRITER, ...: nothing to read.
    }
    if (tracks.empty())
        Fail(path, u8"トラックがありません");

    SourceInfo info{ "cue", path, {}, -1 };
    int64_t fileStart = 0; // the disc address of the current file's first frame, gaps included
    int64_t gaps = 0, size = 0, dataStart = 0; // the current file's end and where its sectors start
    for (size_t i = 0; i < tracks.size(); ++i) {
        const CueTrack& t = tracks[i];
        const CueFile& file = files[t.File];
        if (t.Index1 < 0 || (t.Index0 >= 0 && t.Index0 > t.Index1))
            Fail(path, u8"トラック %d の INDEX 01 がないか、INDEX 00 より前です", { t.Number });
        bool firstOfFile = i == 0 || tracks[i - 1].File != t.File;
        bool lastOfFile = i + 1 == tracks.size() || tracks[i + 1].File != t.File;
        if (firstOfFile) {
            size = SizeOf(file.Path), dataStart = 0;
            if (size < 0)
                Fail(path, u8"ファイル %s がありません", { file.Path });
            if (file.Wave) {
                auto [at, bytes] = WaveData(path, file.Path, size);
                dataStart = at, size = at + bytes;
            }
        }
        int64_t begin = t.Index0 >= 0 ? t.Index0 : t.Index1; // where the track's bytes start
        int64_t offset;
        if (firstOfFile) {
            offset = dataStart + begin * t.Stride;
        } else {
            const CueTrack& prev = tracks[i - 1];
            const TrackInfo& prevInfo = info.Tracks.back();
            if (begin < prev.Index1)
                Fail(path, u8"トラック %d がトラック %d より前から始まっています", { t.Number, prev.Number });
            offset = prevInfo.FileOffset + (begin - prev.Index1) * prev.Stride;
        }
        gaps += t.Pregap;
        TrackInfo track{ t.Number, t.Format, file.Path, offset + (t.Index1 - begin) * t.Stride,
                         fileStart + gaps + t.Index1, 0 };
        if (!lastOfFile) {
            const CueTrack& next = tracks[i + 1];
            track.Sectors = (next.Index0 >= 0 ? next.Index0 : next.Index1) - t.Index1;
        } else {
            if (track.FileOffset > size)
                Fail(path, u8"トラック %d がファイル %s の終わりより後から始まっています", { t.Number, file.Path });
            // Sound may end in a partial sector; a partial data sector is left out.
            track.Sectors = (size - track.FileOffset + (file.Wave ? t.Stride - 1 : 0)) / t.Stride;
            fileStart += t.Index1 + track.Sectors;
        }
        gaps += t.Postgap;
        if (track.Sectors < 0)
            Fail(path, u8"トラック %d の長さが負です", { t.Number });
        if (info.DataTrack < 0 && t.Format != SectorFormat::Audio)
            info.DataTrack = static_cast<int>(info.Tracks.size());
        info.Tracks.push_back(track);
    }
    if (info.DataTrack < 0)
        Fail(path, u8"データトラックがありません");
    return MakeTrackSource(std::move(info));
}

} // namespace tarn::media::detail
