#include "iso_image.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <set>

#include "base/codepage.h"
#include "base/path.h"
#include "common/tool.h"
#include "mode1_sector.h"
#include "platform/platform.h"

namespace tarn::mkdisc {

using tools::ToolError;

namespace {

constexpr uint32_t kSector = 2048;
constexpr size_t kMaxPrimary = 31; // bytes of a primary name before ";1"
constexpr size_t kMaxPrimaryExt = 10;
constexpr size_t kMaxJoliet = 103; // UCS-2 characters: the longest names the readers of Joliet take
constexpr uint32_t kNoTime = 0x00210000; // 1980-01-01 00:00:00, the earliest DOS time
constexpr int kMaxDepth = 64;
constexpr size_t kChunkSectors = 512; // files move in blocks of 1 MiB
constexpr int kPrimary = 0, kJoliet = 1;

struct Node {
    AnsiString Name, Path;
    bool IsDir = false;
    int64_t Size = 0;
    uint32_t Time = kNoTime; // DOS date and time
    size_t Parent = 0;
    std::vector<size_t> Children;          // by CP932 name
    std::vector<size_t> Order[2];          // the records of each tree, sorted as ISO 9660 sorts them
    std::string Id[2];                     // the identifier in each tree (Joliet: UCS-2 big-endian)
    std::string PrimaryKey;                // name and extension padded with blanks: the primary sort key
    uint32_t Lba[2] = {}, Bytes[2] = {};   // directories: their extent in each tree; files: Lba[0]
    uint16_t Number[2] = {};               // directories: their place in the path table
};

void Put16(uint8_t* p, uint16_t v, bool big) { p[big ? 0 : 1] = static_cast<uint8_t>(v >> 8), p[big ? 1 : 0] = static_cast<uint8_t>(v); }
void Put32(uint8_t* p, uint32_t v, bool big)
{
    for (int i = 0; i < 4; ++i)
        p[big ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
void Both16(uint8_t* p, uint16_t v) { Put16(p, v, false), Put16(p + 2, v, true); }
void Both32(uint8_t* p, uint32_t v) { Put32(p, v, false), Put32(p + 4, v, true); }

uint32_t SectorsOf(uint64_t bytes) { return static_cast<uint32_t>((bytes + kSector - 1) / kSector); }

// The offset from Greenwich, in 15-minute steps, of this machine's local
// time at a DOS time (local): recorded with the time, so that a reader in
// any time zone gets the moment the file was written.
int8_t GmtOffsetOf(uint32_t dos)
{
    uint32_t date = dos >> 16, time = dos & 0xFFFF;
    std::tm local{};
    local.tm_year = static_cast<int>(80 + (date >> 9));
    local.tm_mon = static_cast<int>((date >> 5 & 15) - 1);
    local.tm_mday = static_cast<int>(date & 31);
    local.tm_hour = static_cast<int>(time >> 11);
    local.tm_min = static_cast<int>(time >> 5 & 63);
    local.tm_sec = static_cast<int>((time & 31) * 2);
    local.tm_isdst = -1;
    std::time_t t = std::mktime(&local);
    std::tm* utc = t == static_cast<std::time_t>(-1) ? nullptr : std::gmtime(&t);
    if (!utc)
        return 0;
    std::tm asUtc = *utc;
    asUtc.tm_isdst = local.tm_isdst;
    long minutes = static_cast<long>(std::difftime(t, std::mktime(&asUtc)) / 60);
    return static_cast<int8_t>(std::clamp<long>(minutes / 15, -48, 52));
}

// The recorded times are the files' local times with this machine's offset.
void PutShortDate(uint8_t* p, uint32_t dos)
{
    uint32_t date = dos >> 16, time = dos & 0xFFFF;
    p[0] = static_cast<uint8_t>(80 + (date >> 9));
    p[1] = static_cast<uint8_t>(date >> 5 & 15);
    p[2] = static_cast<uint8_t>(date & 31);
    p[3] = static_cast<uint8_t>(time >> 11);
    p[4] = static_cast<uint8_t>(time >> 5 & 63);
    p[5] = static_cast<uint8_t>((time & 31) * 2);
    p[6] = static_cast<uint8_t>(GmtOffsetOf(dos));
}

void PutLongDate(uint8_t* p, std::optional<uint32_t> dos)
{
    if (!dos) {
        std::memset(p, '0', 16);
        p[16] = 0;
        return;
    }
    uint32_t date = *dos >> 16, time = *dos & 0xFFFF;
    unsigned v[] = { 1980 + (date >> 9), date >> 5 & 15, date & 31, time >> 11, time >> 5 & 63, (time & 31) * 2, 0 };
    std::string digits = std::to_string(v[0]);
    for (size_t i = 1; i < std::size(v); ++i)
        digits += static_cast<char>('0' + v[i] / 10 % 10), digits += static_cast<char>('0' + v[i] % 10);
    std::memcpy(p, digits.data(), 16);
    p[16] = static_cast<uint8_t>(GmtOffsetOf(*dos));
}

// A text field: blanks, in UCS-2 for Joliet.
void PutText(uint8_t* p, size_t size, std::string_view ascii, int tree)
{
    for (size_t i = 0; i < size; ++i)
        p[i] = tree == kJoliet && i % 2 == 0 ? 0 : ' ';
    for (size_t i = 0; i < ascii.size(); ++i) {
        size_t at = tree == kJoliet ? 2 * i + 1 : i;
        if (at < size)
            p[at] = static_cast<uint8_t>(ascii[i]);
    }
}

size_t RecordSize(size_t idSize) { return 33 + idSize + (idSize % 2 == 0 ? 1 : 0); }

void PutRecord(uint8_t* p, uint32_t lba, uint32_t bytes, uint32_t time, bool dir, std::string_view id)
{
    p[0] = static_cast<uint8_t>(RecordSize(id.size()));
    Both32(p + 2, lba);
    Both32(p + 10, bytes);
    PutShortDate(p + 18, time);
    p[25] = dir ? 2 : 0;
    Both16(p + 28, 1);
    p[32] = static_cast<uint8_t>(id.size());
    std::memcpy(p + 33, id.data(), id.size());
}

// The longest start of s of at most max bytes that ends between characters.
std::string Cut(std::string_view s, size_t max)
{
    size_t i = 0;
    while (i < s.size() && i + CharLengthAt(s, i) <= max)
        i += CharLengthAt(s, i);
    return std::string(s.substr(0, i));
}

// d-characters where the name is ASCII: letters in upper case, anything but
// digits and '_' as '_'. Two-byte characters and other bytes from 0x80 stay.
std::string PrimaryPart(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i += CharLengthAt(s, i)) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (CharLengthAt(s, i) == 2)
            out.append(s.substr(i, 2));
        else if (c >= 'a' && c <= 'z')
            out += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80)
            out += static_cast<char>(c);
        else
            out += '_';
    }
    return out;
}

std::string Padded(std::string s) { return s.append(kMaxPrimary + 1 - std::min(s.size(), kMaxPrimary), ' '); }

class ImageWriter {
public:
    ImageWriter(const AnsiString& dir, const ImageTarget& target) : target_(target)
    {
        nodes_.emplace_back();
        nodes_[0].Path = ExcludeTrailingBackslash(dir);
        nodes_[0].IsDir = true;
        Scan(0, 0);
        for (size_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i].IsDir)
                Name(nodes_[i]);
        volumeTime_ = kNoTime;
        for (const Node& n : nodes_)
            if (!n.IsDir)
                volumeTime_ = std::max(volumeTime_, n.Time);
        Allocate();
    }

    void Write(const AnsiString& path, bool raw);

private:
    void Scan(size_t self, int depth);
    void Name(Node& dir);
    void Allocate();
    uint32_t Directory(const Node& dir, int tree, uint8_t* out) const;
    size_t PathTable(int tree, bool big, uint8_t* out) const;
    void Descriptor(int tree, uint8_t* p) const;

    const ImageTarget& target_;
    std::vector<Node> nodes_;
    std::vector<size_t> dirs_[2]; // the directories in path-table order
    std::vector<size_t> files_;   // in the order of their data
    uint32_t volumeTime_ = kNoTime;
    uint32_t tableSize_[2] = {}, tableL_[2] = {}, tableM_[2] = {};
    uint32_t dataStart_ = 0, sectors_ = 0;
};

void ImageWriter::Scan(size_t self, int depth)
{
    AnsiString dir = AddBackslash(nodes_[self].Path);
    if (depth > kMaxDepth)
        throw ToolError(platform::DisplayPath(dir) + ": folders nested deeper than " + std::to_string(kMaxDepth) + " levels");
    std::vector<platform::DirEntry> list;
    {
        platform::DirectoryReader reader(dir, false);
        platform::DirEntry e;
        while (reader.Next(e))
            if (e.Name != "." && e.Name != "..")
                list.push_back(e);
    }
    // Sorted here so that every later choice (names made unique, the order
    // of the data) follows from the names, not from the file system's order.
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    for (const platform::DirEntry& e : list) {
        Node n;
        n.Name = e.Name;
        n.Path = dir + e.Name;
        n.IsDir = (e.Attributes & faDirectory) != 0;
        n.Parent = self;
        std::string shown = platform::DisplayPath(n.Path);
        if (e.IsLink)
            throw ToolError(shown + ": a link; an image holds files and folders only");
        if (!n.IsDir) {
            platform::FileInfo info = platform::StatFile(n.Path);
            if (!info.Exists || info.IsDirectory)
                throw ToolError(shown + ": cannot be read");
            if (info.Size > 0xFFFFFFFFll)
                throw ToolError(shown + ": " + std::to_string(info.Size) +
                                " bytes; a file on an image holds at most 4 GiB - 1 (4294967295 bytes)");
            n.Size = info.Size;
            n.Time = info.DosDateTime.value_or(kNoTime);
        }
        nodes_.push_back(std::move(n));
        size_t index = nodes_.size() - 1;
        nodes_[self].Children.push_back(index);
        if (nodes_[index].IsDir)
            Scan(index, depth + 1);
    }
}

void ImageWriter::Name(Node& dir)
{
    std::set<std::string> primary, joliet;
    for (size_t c : dir.Children) {
        Node& n = nodes_[c];
        std::string shown = platform::DisplayPath(n.Path);

        std::string utf8;
        if (!TryCp932ToUtf8(n.Name, utf8))
            throw ToolError(shown + ": the name is no CP932 text");
        std::u16string name = Utf8ToUtf16(utf8);
        if (name.size() > kMaxJoliet)
            throw ToolError(shown + ": the name has " + std::to_string(name.size()) + " characters; Joliet holds at most " +
                            std::to_string(kMaxJoliet));
        for (char16_t ch : name) {
            bool bad = ch < 0x20 || ch == '*' || ch == '/' || ch == ':' || ch == ';' || ch == '?' || ch == '\\';
            char16_t v = bad ? u'_' : ch;
            n.Id[kJoliet] += static_cast<char>(v >> 8);
            n.Id[kJoliet] += static_cast<char>(v & 0xFF);
        }
        if (!joliet.insert(n.Id[kJoliet]).second)
            throw ToolError(shown + ": Joliet cannot tell this name from another one in its folder");

        // The primary name: the extension after the last dot (files only),
        // shortened so that both fit, and a number where two would be alike.
        size_t dot = n.IsDir ? std::string::npos : LastDelimiter(".", n.Name);
        std::string base = PrimaryPart(std::string_view(n.Name).substr(0, dot));
        std::string ext = dot == std::string::npos ? "" : Cut(PrimaryPart(std::string_view(n.Name).substr(dot + 1)), kMaxPrimaryExt);
        size_t room = n.IsDir ? kMaxPrimary : kMaxPrimary - 1 - ext.size();
        if (base.empty() && ext.empty())
            base = "_";
        for (int k = 0;; ++k) {
            std::string suffix = k == 0 ? "" : "_" + std::to_string(k);
            std::string b = Cut(base, room - suffix.size()) + suffix;
            std::string id = n.IsDir ? b : b + "." + ext;
            if (primary.insert(id).second) {
                n.Id[kPrimary] = n.IsDir ? id : id + ";1";
                n.PrimaryKey = Padded(b) + Padded(n.IsDir ? "" : ext);
                break;
            }
        }
    }
    dir.Order[kPrimary] = dir.Order[kJoliet] = dir.Children;
    std::sort(dir.Order[kPrimary].begin(), dir.Order[kPrimary].end(),
              [&](size_t a, size_t b) { return nodes_[a].PrimaryKey < nodes_[b].PrimaryKey; });
    std::sort(dir.Order[kJoliet].begin(), dir.Order[kJoliet].end(),
              [&](size_t a, size_t b) { return nodes_[a].Id[kJoliet] < nodes_[b].Id[kJoliet]; });
}

// The records of a directory, none across a sector's end; written to out
// when it is given. Returns the extent's size.
uint32_t ImageWriter::Directory(const Node& dir, int tree, uint8_t* out) const
{
    size_t pos = 0;
    auto record = [&](uint32_t lba, uint32_t bytes, uint32_t time, bool isDir, std::string_view id) {
        size_t size = RecordSize(id.size());
        if (pos % kSector + size > kSector)
            pos = (pos / kSector + 1) * kSector;
        if (out)
            PutRecord(out + pos, lba, bytes, time, isDir, id);
        pos += size;
    };
    const Node& parent = nodes_[dir.Parent];
    record(dir.Lba[tree], dir.Bytes[tree], volumeTime_, true, std::string_view("\0", 1));
    record(parent.Lba[tree], parent.Bytes[tree], volumeTime_, true, "\1");
    for (size_t c : dir.Order[tree]) {
        const Node& n = nodes_[c];
        if (n.IsDir)
            record(n.Lba[tree], n.Bytes[tree], volumeTime_, true, n.Id[tree]);
        else
            record(n.Lba[kPrimary], static_cast<uint32_t>(n.Size), n.Time, false, n.Id[tree]);
    }
    return SectorsOf(pos) * kSector;
}

size_t ImageWriter::PathTable(int tree, bool big, uint8_t* out) const
{
    size_t pos = 0;
    for (size_t d : dirs_[tree]) {
        const Node& n = nodes_[d];
        std::string_view id = d == 0 ? std::string_view("\0", 1) : std::string_view(n.Id[tree]);
        if (out) {
            uint8_t* p = out + pos;
            p[0] = static_cast<uint8_t>(id.size());
            Put32(p + 2, n.Lba[tree], big);
            Put16(p + 6, nodes_[n.Parent].Number[tree], big);
            std::memcpy(p + 8, id.data(), id.size());
        }
        pos += 8 + id.size() + id.size() % 2;
    }
    return pos;
}

void ImageWriter::Allocate()
{
    // The path tables list the directories level by level, each level by
    // parent and then by name: the order of a breadth-first walk of sorted records.
    for (int t : { kPrimary, kJoliet }) {
        dirs_[t] = { 0 };
        for (size_t i = 0; i < dirs_[t].size(); ++i) {
            if (dirs_[t].size() > 0xFFFF)
                throw ToolError(platform::DisplayPath(nodes_[0].Path) + ": more than 65535 folders");
            nodes_[dirs_[t][i]].Number[t] = static_cast<uint16_t>(i + 1);
            for (size_t c : nodes_[dirs_[t][i]].Order[t])
                if (nodes_[c].IsDir)
                    dirs_[t].push_back(c);
        }
    }
    uint64_t lba = 16 + 3; // the system area, two volume descriptors and the terminator
    for (int t : { kPrimary, kJoliet }) {
        tableSize_[t] = static_cast<uint32_t>(PathTable(t, false, nullptr));
        tableL_[t] = static_cast<uint32_t>(lba);
        tableM_[t] = static_cast<uint32_t>(lba + SectorsOf(tableSize_[t]));
        lba += 2 * SectorsOf(tableSize_[t]);
    }
    for (int t : { kPrimary, kJoliet })
        for (size_t d : dirs_[t]) {
            Node& n = nodes_[d];
            n.Bytes[t] = Directory(n, t, nullptr);
            n.Lba[t] = static_cast<uint32_t>(lba);
            lba += n.Bytes[t] / kSector;
        }
    dataStart_ = static_cast<uint32_t>(lba);
    // The data follows the primary tree: a folder's files, then its folders.
    std::vector<size_t> stack = { 0 };
    while (!stack.empty()) {
        const Node& dir = nodes_[stack.back()];
        stack.pop_back();
        for (size_t c : dir.Order[kPrimary])
            if (!nodes_[c].IsDir)
                files_.push_back(c);
        for (auto c = dir.Order[kPrimary].rbegin(); c != dir.Order[kPrimary].rend(); ++c)
            if (nodes_[*c].IsDir)
                stack.push_back(*c);
    }
    for (size_t f : files_) {
        Node& n = nodes_[f];
        n.Lba[kPrimary] = n.Size == 0 ? 0 : static_cast<uint32_t>(lba);
        lba += SectorsOf(static_cast<uint64_t>(n.Size));
        if (lba > 0xFFFFFFFFu)
            throw ToolError(platform::DisplayPath(nodes_[0].Path) + ": more than an image can address (8 TiB)");
    }
    sectors_ = static_cast<uint32_t>(lba);
}

void ImageWriter::Descriptor(int tree, uint8_t* p) const
{
    p[0] = tree == kJoliet ? 2 : 1;
    std::memcpy(p + 1, "CD001", 5);
    p[6] = 1;
    PutText(p + 8, 32, "", tree);
    PutText(p + 40, 32, target_.VolumeId, tree);
    Both32(p + 80, sectors_);
    if (tree == kJoliet)
        std::memcpy(p + 88, "%/E", 3); // UCS-2 level 3
    Both16(p + 120, 1);
    Both16(p + 124, 1);
    Both16(p + 128, kSector);
    Both32(p + 132, tableSize_[tree]);
    Put32(p + 140, tableL_[tree], false);
    Put32(p + 148, tableM_[tree], true);
    PutRecord(p + 156, nodes_[0].Lba[tree], nodes_[0].Bytes[tree], volumeTime_, true, std::string_view("\0", 1));
    PutText(p + 190, 128, "", tree);
    PutText(p + 318, 128, "", tree);
    PutText(p + 446, 128, "", tree);
    PutText(p + 574, 128, "MKDISC", tree);
    PutText(p + 702, 37 * 3, "", tree);
    PutLongDate(p + 813, volumeTime_);
    PutLongDate(p + 830, volumeTime_);
    PutLongDate(p + 847, std::nullopt);
    PutLongDate(p + 864, std::nullopt);
    p[881] = 1;
}

// The image file: 2048-byte sectors as they are, or framed as raw mode 1 sectors.
class SectorFile {
public:
    SectorFile(const AnsiString& path, bool raw) : path_(path), raw_(raw)
    {
        file_ = platform::File::Open(path, platform::File::Mode::Create);
        if (!file_)
            throw ToolError(platform::DisplayPath(path) + ": cannot create the file");
        if (raw)
            frames_.resize(kChunkSectors * kRawSectorSize);
    }

    void Put(const uint8_t* sectors, size_t count)
    {
        while (count > 0) {
            size_t n = std::min(count, kChunkSectors);
            const uint8_t* bytes = sectors;
            int64_t size = static_cast<int64_t>(n * kSector);
            if (raw_) {
                for (size_t i = 0; i < n; ++i)
                    FrameMode1Sector(lba_ + static_cast<uint32_t>(i), sectors + i * kSector, frames_.data() + i * kRawSectorSize);
                bytes = frames_.data();
                size = static_cast<int64_t>(n * kRawSectorSize);
            }
            if (file_->Write(bytes, size) != size)
                throw ToolError(platform::DisplayPath(path_) + ": cannot write (" + Cp932ToUtf8Lossy(platform::LastErrorText()) + ")");
            lba_ += static_cast<uint32_t>(n);
            sectors += n * kSector;
            count -= n;
        }
    }

private:
    AnsiString path_;
    bool raw_;
    std::unique_ptr<platform::File> file_;
    std::vector<uint8_t> frames_;
    uint32_t lba_ = 0;
};

void ImageWriter::Write(const AnsiString& path, bool raw)
{
    SectorFile out(path, raw);
    std::vector<uint8_t> meta(size_t(dataStart_) * kSector);
    Descriptor(kPrimary, &meta[16 * kSector]);
    Descriptor(kJoliet, &meta[17 * kSector]);
    uint8_t* end = &meta[18 * kSector];
    end[0] = 255;
    std::memcpy(end + 1, "CD001", 5);
    end[6] = 1;
    for (int t : { kPrimary, kJoliet }) {
        PathTable(t, false, &meta[size_t(tableL_[t]) * kSector]);
        PathTable(t, true, &meta[size_t(tableM_[t]) * kSector]);
        for (size_t d : dirs_[t])
            Directory(nodes_[d], t, &meta[size_t(nodes_[d].Lba[t]) * kSector]);
    }
    out.Put(meta.data(), dataStart_);

    std::vector<uint8_t> chunk(kChunkSectors * kSector);
    int64_t done = 0, total = 0;
    for (size_t f : files_)
        total += nodes_[f].Size;
    for (size_t f : files_) {
        const Node& n = nodes_[f];
        std::string shown = platform::DisplayPath(n.Path);
        std::unique_ptr<platform::File> in = platform::File::Open(n.Path, platform::File::Mode::Read);
        if (!in)
            throw ToolError(shown + ": cannot open the file");
        for (int64_t left = n.Size; left > 0;) {
            int64_t want = std::min<int64_t>(left, static_cast<int64_t>(chunk.size()));
            if (in->Read(chunk.data(), want) != want)
                throw ToolError(shown + ": the file became shorter while the image was written");
            uint32_t sectors = SectorsOf(static_cast<uint64_t>(want));
            std::fill(chunk.begin() + want, chunk.begin() + sectors * kSector, 0);
            out.Put(chunk.data(), sectors);
            left -= want;
            done += want;
            if (target_.OnProgress)
                target_.OnProgress(done, total);
        }
        uint8_t more;
        if (in->Read(&more, 1) != 0)
            throw ToolError(shown + ": the file became longer while the image was written");
    }
}

void WriteText(const AnsiString& path, std::string_view text)
{
    std::unique_ptr<platform::File> f = platform::File::Open(path, platform::File::Mode::Create);
    if (!f || f->Write(text.data(), static_cast<int64_t>(text.size())) != static_cast<int64_t>(text.size()))
        throw ToolError(platform::DisplayPath(path) + ": cannot write the file");
}

} // namespace

void WriteDiscImage(const AnsiString& dir, const ImageTarget& target)
{
    ImageWriter writer(dir, target);
    if (target.Format == ImageFormat::Cue) {
        writer.Write(target.Base + ".bin", true);
        WriteText(target.Base + ".cue", "FILE \"" + ExtractFileName(target.Base) + ".bin\" BINARY\r\n" +
                                            "  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");
    } else {
        writer.Write(target.Base + ".iso", false);
    }
}

} // namespace tarn::mkdisc
