#include "media/iso_fs.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "base/byte_reader.h"
#include "base/codepage.h"
#include "base/format.h"
#include "media/iso_names.h"

namespace tarn::media {

namespace {

// Bounds that keep a hostile image from costing more than a real disc could:
// a real directory of a million entries has about 64 MiB of records.
constexpr int kMaxDescriptors = 64;
constexpr int kMaxDepth = 64;
constexpr int64_t kMaxDirectoryBytes = int64_t(128) << 20;
constexpr size_t kMaxNodes = 4'000'000;
constexpr int kMaxContinuations = 16;

constexpr uint8_t kHidden = 0x01, kDirectory = 0x02, kAssociated = 0x04, kMoreExtents = 0x80;

constexpr char8_t kNoVolume[] = u8"ディスクイメージ %s に ISO 9660 のボリュームがありません";
constexpr char8_t kBadImage[] = u8"ディスクイメージ %s は読み込めません（%s）";
constexpr char8_t kBadRecord[] = u8"ディスクイメージ %s の %s は読み込めません（%s）";

// One directory record as stored; sector is where the data starts (after
// any extended attribute record).
struct Record {
    std::string name;
    uint8_t flags = 0;
    int64_t sector = 0;
    int64_t bytes = 0;
    uint64_t date = 0; // the seven bytes of the recording time
    std::string systemUse;
};

int64_t SectorsOf(int64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

int64_t DaysFromCivil(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return int64_t(era) * 146097 + int64_t(doe) - 719468;
}

// The recording time is the authoring machine's local time with its offset
// from GMT; the program compares it with what the host reports for a copied
// file, which is the host's local time: so through UTC to the host's zone.
// Seconds since 1970 (UTC) of a recording time; 0 for one that is no time.
int64_t UnixTimeOf(uint64_t recorded)
{
    uint8_t d[7];
    for (int i = 0; i < 7; ++i)
        d[i] = static_cast<uint8_t>(recorded >> (8 * i));
    unsigned month = d[1], day = d[2], hour = d[3], minute = d[4], second = d[5];
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return 0;
    int offset = static_cast<int8_t>(d[6]);
    if (offset < -48 || offset > 52)
        offset = 0;
    return DaysFromCivil(1900 + d[0], month, day) * 86400 + hour * 3600 + minute * 60 + second - offset * 900;
}

uint32_t DosDateTimeOf(uint64_t recorded)
{
    int64_t utc = UnixTimeOf(recorded);
    if (utc == 0)
        return 0;
    static std::mutex localTimeLock; // std::localtime shares one result
    std::lock_guard<std::mutex> guard(localTimeLock);
    std::time_t t = static_cast<std::time_t>(utc);
    const std::tm* local = std::localtime(&t);
    if (!local || local->tm_year < 80 || local->tm_year > 207)
        return 0;
    uint32_t date = static_cast<uint32_t>((local->tm_year - 80) << 9 | (local->tm_mon + 1) << 5 | local->tm_mday);
    uint32_t time = static_cast<uint32_t>(local->tm_hour << 11 | local->tm_min << 5 | local->tm_sec / 2);
    return date << 16 | time;
}

// Parses one record of len bytes (len checked against its sector already);
// base: the disc address of the track's first sector, where the volume's
// addresses are the disc's (a data track after audio, a later session).
bool ParseRecord(const uint8_t* p, size_t len, Record& rec, int64_t base)
{
    ByteReader r(p, len);
    r.Skip(1);
    uint8_t extended = r.U8();
    int64_t location = r.U32(); // the little-endian half only: some tools write the other wrong
    r.Skip(4);
    rec.bytes = r.U32();
    r.Skip(4);
    for (int i = 0; i < 7; ++i)
        rec.date |= static_cast<uint64_t>(r.U8()) << (8 * i);
    rec.flags = r.U8();
    r.Skip(6);
    uint8_t nameLength = r.U8();
    if (nameLength == 0 || nameLength > r.Remaining())
        return false;
    rec.name.assign(r.Take(nameLength));
    if (nameLength % 2 == 0 && !r.AtEnd())
        r.Skip(1);
    rec.systemUse.assign(r.Take(r.Remaining()));
    rec.sector = location + extended - base;
    return true;
}

} // namespace

struct IsoFileSystem::Impl {
    struct Dir {
        std::vector<std::unique_ptr<DiscNode>> children;
        std::unordered_map<AnsiString, const DiscNode*> byName; // folded names
        bool loaded = false;
    };
    // A primary record, for a Joliet name that CP932 cannot hold.
    struct Twin {
        AnsiString name; // "" when it has no usable name either
        int64_t parent = 0;
    };

    Impl(SectorSource& s, const AnsiString& n) : source(s), image(n) { }

    SectorSource& source;
    const AnsiString& image;
    std::mutex lock;
    int64_t limit = 0;           // sectors a record may reach
    int64_t base = 0;            // subtracted from every address: see ParseRecord
    int64_t descriptorsEnd = 17; // directories start after the descriptors
    bool joliet = false;
    int suspSkip = -1; // the primary records' System Use skip; -1 without SUSP
    Record primaryRoot;
    DiscNode root;
    std::unordered_map<const DiscNode*, Dir> dirs;
    std::unordered_set<int64_t> dirSectors;
    size_t nodes = 0;
    std::vector<AnsiString> warnings;
    std::unordered_map<uint64_t, uint32_t> dosTimes; // the host's zone is asked once a time
    bool twinsRead = false;
    std::unordered_multimap<int64_t, Twin> twinFiles;
    std::unordered_map<int64_t, Twin> twinDirs;

    AnsiString PathOf(const DiscNode& node) const
    {
        AnsiString path = node.Name;
        for (const DiscNode* p = node.Parent; p && p->Parent; p = p->Parent)
            path = p->Name + "\\" + path;
        return path.empty() ? AnsiString("\\") : path;
    }
    AnsiString PathOf(const DiscNode& dir, const AnsiString& name) const
    {
        return dir.Parent ? PathOf(dir) + "\\" + name : name;
    }
    void Warn(const AnsiString& path, std::string_view reason)
    {
        if (warnings.size() < 1000)
            warnings.push_back(Format(kBadRecord, { image, path, reason }));
    }
    void Warn(const AnsiString& path, std::u8string_view reason) { Warn(path, Sjis(reason)); }

    uint32_t DosTime(uint64_t date)
    {
        if (dosTimes.size() > 4096)
            dosTimes.clear();
        auto [it, added] = dosTimes.emplace(date, 0);
        if (added)
            it->second = DosDateTimeOf(date);
        return it->second;
    }

    // The records of a directory, read in one go. Records never cross a
    // sector: a zero length byte ends the sector's records. Damage is told
    // with path, unless there is none (a second look at records).
    std::vector<Record> ReadRecords(int64_t sector, int64_t bytes, const AnsiString* path)
    {
        std::vector<Record> records;
        int64_t sectors = SectorsOf(bytes);
        std::vector<uint8_t> buffer(static_cast<size_t>(sectors * kSectorSize));
        source.ReadSectors(sector, sectors, buffer.data());
        for (int64_t s = 0; s < sectors; ++s) {
            size_t end = static_cast<size_t>(std::min(kSectorSize, bytes - s * kSectorSize));
            const uint8_t* base = buffer.data() + s * kSectorSize;
            for (size_t pos = 0; pos < end && base[pos] != 0;) {
                size_t len = base[pos];
                Record rec;
                if (len < 34 || pos + len > end || !ParseRecord(base + pos, len, rec, this->base)) {
                    if (path)
                        Warn(*path, u8"ディレクトリレコードの長さが不正です");
                    break;
                }
                records.push_back(std::move(rec));
                pos += len;
            }
        }
        return records;
    }

    // Calls visit(signature, entry) for the System Use entries of a primary
    // record, through a bounded chain of continuation areas.
    template <typename Visit>
    void ForEachSusp(std::string_view systemUse, Visit visit)
    {
        if (suspSkip < 0)
            return;
        std::string area(systemUse.substr(std::min<size_t>(static_cast<size_t>(suspSkip), systemUse.size())));
        for (int hops = 0;; ++hops) {
            int64_t nextSector = -1;
            uint32_t nextOffset = 0, nextLength = 0;
            ByteReader r(area);
            while (r.Remaining() >= 4) {
                std::string_view head(reinterpret_cast<const char*>(r.Current()), 4);
                size_t len = static_cast<uint8_t>(head[2]);
                if (len < 4 || len > r.Remaining())
                    break;
                std::string_view entry = r.Take(len);
                std::string_view sig = entry.substr(0, 2);
                if (sig == "ST")
                    break;
                if (sig == "CE" && len >= 28) {
                    ByteReader ce(entry);
                    ce.Skip(4);
                    nextSector = static_cast<int64_t>(ce.U32()) - base;
                    ce.Skip(4);
                    nextOffset = ce.U32();
                    ce.Skip(4);
                    nextLength = ce.U32();
                }
                visit(sig, entry);
            }
            if (nextSector < 0 || hops >= kMaxContinuations || nextSector >= limit || nextLength == 0 ||
                nextOffset >= kSectorSize || nextLength > kSectorSize - nextOffset)
                return;
            uint8_t sector[kSectorSize];
            source.ReadSectors(nextSector, 1, sector);
            area.assign(reinterpret_cast<const char*>(sector) + nextOffset, nextLength);
        }
    }

    AnsiString RockRidgeName(const Record& rec)
    {
        std::string utf8;
        bool any = false;
        ForEachSusp(rec.systemUse, [&](std::string_view sig, std::string_view entry) {
            if (sig == "NM" && entry.size() >= 5 && (entry[4] & 0x06) == 0)
                utf8.append(entry.substr(5)), any = true;
        });
        AnsiString name;
        return any && TryUtf8ToCp932(utf8, name) && iso::UsableName(name) ? name : AnsiString();
    }

    // A primary record's name: its bytes when they are CP932, else its Rock
    // Ridge name; "" when neither can be used.
    AnsiString PrimaryChoice(const Record& rec)
    {
        AnsiString name = iso::PrimaryName(rec.name, !(rec.flags & kDirectory));
        if (iso::IsCp932(name) && iso::UsableName(name))
            return name;
        return RockRidgeName(rec);
    }

    // The primary tree, once, as the records that Joliet files and
    // directories may stand for (found by where their data lies).
    void ReadTwins()
    {
        if (twinsRead)
            return;
        twinsRead = true;
        std::vector<std::pair<Record, int>> queue{ { primaryRoot, 0 } };
        std::unordered_set<int64_t> seen{ primaryRoot.sector };
        size_t count = 0;
        for (size_t q = 0; q < queue.size() && count < kMaxNodes; ++q) {
            Record dir = queue[q].first;
            int depth = queue[q].second;
            std::vector<Record> records;
            try {
                records = ReadRecords(dir.sector, std::min(dir.bytes, kMaxDirectoryBytes), nullptr);
            } catch (const EReadError&) {
                continue;
            }
            for (size_t i = 0; i < records.size(); ++i) {
                const Record& rec = records[i];
                if ((i < 2 && rec.name.size() == 1 && rec.name[0] == char(i)) || (rec.flags & kAssociated))
                    continue;
                ++count;
                Twin twin{ PrimaryChoice(rec), dir.sector };
                if (!(rec.flags & kDirectory)) {
                    twinFiles.emplace(rec.sector, std::move(twin));
                } else if (depth < kMaxDepth && rec.sector >= descriptorsEnd && rec.sector < limit && seen.insert(rec.sector).second) {
                    twinDirs.emplace(rec.sector, std::move(twin));
                    queue.push_back({ rec, depth + 1 });
                }
            }
        }
    }

    // The primary directory that holds the same files as these records.
    int64_t TwinDirOf(const std::vector<Record>& records)
    {
        for (const Record& rec : records) {
            if ((rec.flags & kDirectory) || rec.bytes == 0)
                continue;
            if (twinFiles.count(rec.sector) == 1)
                return twinFiles.find(rec.sector)->second.parent;
        }
        return -1;
    }

    // The name of the primary twin of a Joliet record; "" when there is none.
    AnsiString TwinName(const Record& rec, const std::vector<Record>& siblings)
    {
        ReadTwins();
        if (rec.flags & kDirectory) {
            if (rec.sector + SectorsOf(rec.bytes) > limit || rec.bytes > kMaxDirectoryBytes)
                return AnsiString();
            int64_t dir = -1;
            try {
                dir = TwinDirOf(ReadRecords(rec.sector, rec.bytes, nullptr));
            } catch (const EReadError&) {
            }
            auto it = twinDirs.find(dir);
            return it == twinDirs.end() ? AnsiString() : it->second.name;
        }
        auto [first, last] = twinFiles.equal_range(rec.sector);
        if (first == last)
            return AnsiString();
        if (std::next(first) == last)
            return first->second.name;
        // Several files share the data: the one beside the same files, when
        // only one is.
        int64_t parent = TwinDirOf(siblings);
        const Twin* found = nullptr;
        for (auto it = first; it != last; ++it) {
            if (it->second.parent == parent && found)
                return AnsiString();
            if (it->second.parent == parent)
                found = &it->second;
        }
        return found ? found->name : AnsiString();
    }

    // The name a record gets in the tree, "" when it is refused.
    AnsiString NameOf(const Record& rec, const std::vector<Record>& siblings)
    {
        bool isFile = !(rec.flags & kDirectory);
        if (!joliet) {
            AnsiString name = PrimaryChoice(rec);
            return name.empty() && iso::UsableName(rec.name) ? iso::PrimaryName(rec.name, isFile) : name;
        }
        std::u16string utf16 = iso::JolietName(rec.name, isFile);
        if (utf16.find_first_of(std::u16string_view(u"\\/\0", 3)) != std::u16string::npos)
            return AnsiString();
        AnsiString name;
        if (iso::JolietToCp932(utf16, name))
            return iso::UsableName(name) ? name : AnsiString();
        name = TwinName(rec, siblings);
        // Neither set has a CP932 name: the host's own conversion keeps the
        // characters for the files written from it.
        return name.empty() ? Utf16ToAnsi(utf16) : name;
    }

    // Whether a record's data lies in the image; directories also must not
    // loop, share their records or lie on the descriptors.
    std::u8string_view Refusal(const DiscNode& parent, const Record& rec, int depth)
    {
        if (rec.sector + SectorsOf(rec.bytes) > limit && rec.bytes > 0)
            return u8"イメージの外を指しています";
        if (!(rec.flags & kDirectory))
            return {};
        if (rec.sector < descriptorsEnd)
            return u8"ボリューム記述子と重なっています";
        for (const DiscNode* p = &parent; p; p = p->Parent)
            if (p->Extents[0].Sector == rec.sector)
                return u8"上位のディレクトリを指しています";
        if (depth > kMaxDepth)
            return u8"階層が深すぎます";
        if (rec.bytes > kMaxDirectoryBytes)
            return u8"ディレクトリが大きすぎます";
        if (dirSectors.count(rec.sector))
            return u8"ほかのディレクトリと同じレコードを指しています";
        return {};
    }

    Dir& Load(const DiscNode& dir)
    {
        Dir& d = dirs[&dir];
        if (d.loaded || !dir.IsDirectory)
            return d;
        d.loaded = true;
        int depth = 1;
        for (const DiscNode* p = dir.Parent; p; p = p->Parent)
            ++depth;
        std::vector<Record> records;
        AnsiString path = PathOf(dir);
        try {
            records = ReadRecords(dir.Extents[0].Sector, dir.Extents[0].Bytes, &path);
        } catch (const EReadError& e) {
            if (&dir == &root)
                throw;
            Warn(PathOf(dir), std::string_view(e.Message()));
            return d;
        }
        DiscNode* pending = nullptr; // a file whose next record continues it
        const Record* pendingRecord = nullptr;
        for (size_t i = 0; i < records.size(); ++i) {
            const Record& rec = records[i];
            if (i < 2 && rec.name.size() == 1 && rec.name[0] == char(i))
                continue;
            if (rec.flags & kAssociated)
                continue;
            if (pending && rec.name == pendingRecord->name && !(rec.flags & kDirectory)) {
                if (!Refusal(dir, rec, depth).empty()) {
                    Warn(PathOf(dir, pending->Name), Refusal(dir, rec, depth));
                    if (auto it = d.byName.find(iso::FoldedName(pending->Name)); it != d.byName.end() && it->second == pending)
                        d.byName.erase(it);
                    d.children.pop_back(), --nodes;
                    pending = nullptr;
                    continue;
                }
                pending->Extents.push_back({ rec.sector, rec.bytes });
                pending->Size += rec.bytes;
                pending = (rec.flags & kMoreExtents) ? pending : nullptr;
                continue;
            }
            pending = nullptr;
            if (nodes >= kMaxNodes) {
                Warn(PathOf(dir), u8"ファイルが多すぎます");
                break;
            }
            AnsiString name = NameOf(rec, records);
            if (name.empty()) {
                AnsiString shown = joliet ? Utf16ToAnsi(iso::JolietName(rec.name, true)) : rec.name;
                Warn(PathOf(dir, shown), u8"名前が不正です");
                continue;
            }
            if (std::u8string_view why = Refusal(dir, rec, depth); !why.empty()) {
                Warn(PathOf(dir, name), why);
                continue;
            }
            auto node = std::make_unique<DiscNode>();
            node->Name = name;
            node->IsDirectory = rec.flags & kDirectory;
            node->Size = node->IsDirectory ? 0 : rec.bytes;
            node->DosDateTime = DosTime(rec.date);
            node->UnixTime = UnixTimeOf(rec.date);
            node->Extents.push_back({ rec.sector, rec.bytes });
            node->Parent = &dir;
            if (node->IsDirectory)
                dirSectors.insert(rec.sector);
            if (!node->IsDirectory && (rec.flags & kMoreExtents))
                pending = node.get(), pendingRecord = &rec;
            d.byName.emplace(iso::FoldedName(name), node.get());
            d.children.push_back(std::move(node));
            ++nodes;
        }
        return d;
    }
};

IsoFileSystem::IsoFileSystem(std::shared_ptr<SectorSource> source, AnsiString name)
    : source_(std::move(source)), name_(std::move(name))
{
    impl_ = std::make_unique<Impl>(*source_, name_);
    Impl& m = *impl_;
    int64_t count = source_->SectorCount();
    std::vector<uint8_t> primary, joliet;
    uint8_t sector[kSectorSize];
    for (int64_t s = 16; s < 16 + kMaxDescriptors && s < count; ++s) {
        source_->ReadSectors(s, 1, sector);
        if (std::memcmp(sector + 1, "CD001", 5) != 0)
            break;
        m.descriptorsEnd = s + 1;
        if (sector[0] == 255)
            break;
        if (sector[0] == 1 && primary.empty())
            primary.assign(sector, sector + kSectorSize);
        if (sector[0] == 2 && joliet.empty() && sector[88] == '%' && sector[89] == '/' &&
            (sector[90] == '@' || sector[90] == 'C' || sector[90] == 'E'))
            joliet.assign(sector, sector + kSectorSize);
    }
    if (primary.empty())
        throw EMediaError(kNoVolume, { name_ });
    ByteReader pvd(primary.data(), primary.size());
    pvd.Seek(80);
    info_.VolumeSectors = pvd.U32();
    pvd.Seek(128);
    if (uint16_t block = pvd.U16(); block != kSectorSize)
        throw EMediaError(kBadImage, { name_, Format(u8"論理ブロックの大きさ %d には対応していません", { int(block) }) });
    auto rootOf = [&](const std::vector<uint8_t>& descriptor, Record& rec) {
        return descriptor[156] >= 34 && ParseRecord(descriptor.data() + 156, 34, rec, m.base) && rec.bytes > 0 &&
               rec.bytes <= kMaxDirectoryBytes && rec.sector >= m.descriptorsEnd && rec.sector + SectorsOf(rec.bytes) <= m.limit;
    };
    // A volume on a track that does not start the disc normally counts in
    // the disc's addresses, its size included; one cut out of its disc by
    // hand counts from its own start. The root tells which.
    const SourceInfo& where = source_->Info();
    if (where.DataTrack >= 0 && static_cast<size_t>(where.DataTrack) < where.Tracks.size())
        m.base = where.Tracks[static_cast<size_t>(where.DataTrack)].Start;
    for (;;) {
        int64_t size = info_.VolumeSectors - m.base;
        m.limit = size > m.descriptorsEnd ? std::min(count, size) : count;
        if (m.base == 0 || rootOf(primary, m.primaryRoot))
            break;
        m.base = 0;
    }
    if (!rootOf(primary, m.primaryRoot))
        throw EMediaError(kBadImage, { name_, Sjis(u8"ルートディレクトリがイメージの外を指しています") });
    Record root = m.primaryRoot;
    info_.HasJoliet = !joliet.empty();
    if (info_.HasJoliet && !rootOf(joliet, root)) {
        m.Warn(AnsiString("\\"), u8"Joliet のルートディレクトリがイメージの外を指しています");
        root = m.primaryRoot;
    }
    m.joliet = root.sector != m.primaryRoot.sector;
    info_.Names = m.joliet ? NameSet::Joliet : NameSet::Primary;

    auto volumeId = [](std::string_view bytes) {
        size_t end = bytes.find_last_not_of(std::string_view(" \0", 2));
        return AnsiString(bytes.substr(0, end == std::string_view::npos ? 0 : end + 1));
    };
    info_.VolumeId = volumeId(std::string_view(reinterpret_cast<const char*>(primary.data()) + 40, 32));
    AnsiString jolietId;
    if (m.joliet && iso::JolietToCp932(iso::JolietName(std::string_view(reinterpret_cast<const char*>(joliet.data()) + 40, 32), false), jolietId))
        info_.VolumeId = volumeId(jolietId);

    // Rock Ridge announces itself in the first record of the primary root.
    std::vector<Record> first = m.ReadRecords(m.primaryRoot.sector, std::min(m.primaryRoot.bytes, kSectorSize), nullptr);
    if (!first.empty() && first[0].systemUse.size() >= 7 && first[0].systemUse.compare(0, 4, "SP\x07\x01") == 0 &&
        static_cast<uint8_t>(first[0].systemUse[4]) == 0xBE && static_cast<uint8_t>(first[0].systemUse[5]) == 0xEF) {
        m.suspSkip = static_cast<uint8_t>(first[0].systemUse[6]);
        m.ForEachSusp(first[0].systemUse, [&](std::string_view sig, std::string_view) {
            info_.HasRockRidge = info_.HasRockRidge || sig == "ER" || sig == "RR" || sig == "PX";
        });
    }

    m.root.IsDirectory = true;
    m.root.DosDateTime = m.DosTime(root.date);
    m.root.UnixTime = UnixTimeOf(root.date);
    m.root.Extents.push_back({ root.sector, root.bytes });
    m.dirSectors.insert(root.sector);
    std::lock_guard<std::mutex> guard(m.lock);
    m.Load(m.root);
}

IsoFileSystem::~IsoFileSystem() = default;

const DiscNode& IsoFileSystem::Root() const { return impl_->root; }

const std::vector<std::unique_ptr<DiscNode>>& IsoFileSystem::Children(const DiscNode& dir) const
{
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->Load(dir).children;
}

const DiscNode* IsoFileSystem::Find(std::string_view path) const
{
    std::lock_guard<std::mutex> guard(impl_->lock);
    const DiscNode* node = &impl_->root;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = start;
        while (end < path.size() && !(path[end] == '\\'))
            end += CharLengthAt(path, end);
        if (end == start || !node->IsDirectory)
            return nullptr;
        const Impl::Dir& dir = impl_->Load(*node);
        auto it = dir.byName.find(iso::FoldedName(path.substr(start, end - start)));
        if (it == dir.byName.end())
            return nullptr;
        node = it->second;
        start = end + 1;
    }
    return node;
}

int64_t IsoFileSystem::Read(const DiscNode& file, int64_t offset, void* buffer, int64_t count) const
{
    if (file.IsDirectory || offset < 0 || count <= 0 || offset >= file.Size)
        return 0;
    count = std::min(count, file.Size - offset);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    // Extents that follow each other on the disc are read as one run.
    struct Run {
        int64_t sector, bytes, start; // start: the run's offset in the file
    };
    std::vector<Run> runs;
    int64_t at = 0;
    for (const Extent& e : file.Extents) {
        if (!runs.empty() && runs.back().bytes % kSectorSize == 0 && runs.back().sector + runs.back().bytes / kSectorSize == e.Sector)
            runs.back().bytes += e.Bytes;
        else
            runs.push_back({ e.Sector, e.Bytes, at });
        at += e.Bytes;
    }
    uint8_t partial[kSectorSize];
    for (const Run& run : runs) {
        while (done < count && offset + done < run.start + run.bytes) {
            int64_t pos = offset + done - run.start;
            if (pos < 0)
                break;
            int64_t sector = run.sector + pos / kSectorSize;
            int64_t within = pos % kSectorSize;
            int64_t wanted = std::min(count - done, run.bytes - pos);
            if (within == 0 && wanted >= kSectorSize) {
                int64_t whole = wanted / kSectorSize;
                source_->ReadSectors(sector, whole, out + done);
                done += whole * kSectorSize;
            } else {
                int64_t n = std::min(wanted, kSectorSize - within);
                source_->ReadSectors(sector, 1, partial);
                std::memcpy(out + done, partial + within, static_cast<size_t>(n));
                done += n;
            }
        }
    }
    return done;
}

std::vector<AnsiString> IsoFileSystem::Warnings() const
{
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->warnings;
}

} // namespace tarn::media
