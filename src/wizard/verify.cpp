#include "wizard/verify.h"

#include <set>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/format.h"
#include "base/log_text.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "platform/sha256.h"
#include "setup/install_rules.h"
#include "wizard/install_run.h"

namespace tarn {

namespace {

constexpr int64_t kBlock = int64_t(1) << 20;

// What reading a file or an entry through gave.
struct Read {
    enum { Whole, Unreadable, Short } What = Whole;
    platform::Sha256Digest Digest{};
};

class Checker {
public:
    Checker(VerifyResult& result, const VerifyProgress& progress) : result_(result), progress_(progress) { }

    bool Stopped() const { return stopped_; }

    void Add(FindingClass c, const AnsiString& path, const AnsiString& entry = {})
    {
        result_.Findings.push_back({ c, path, entry });
    }

    // The file at relative path checked against size and, when digest is
    // given, against it; otherwise its digest is handed back for the caller
    // to compare.
    std::optional<platform::Sha256Digest> File(const AnsiString& relative, int64_t size, const std::string* digest)
    {
        const AnsiString path = result_.Installation + relative;
        platform::FileInfo info = platform::StatFile(path);
        ++result_.Files;
        if (!info.Exists) {
            Add(FindingClass::Missing, relative);
            return std::nullopt;
        }
        // A folder, a link or a special file where the file was is none of
        // its content (and a pipe is never opened: nothing would come).
        if (info.IsDirectory || platform::KindOf(path) != platform::EntryKind::File) {
            Add(FindingClass::ContentDiffers, relative);
            return std::nullopt;
        }
        if (info.Size != size) {
            Add(FindingClass::SizeDiffers, relative);
            return std::nullopt;
        }
        Read read = HashFile(path, size);
        if (read.What == Read::Unreadable) {
            Add(FindingClass::Unreadable, relative);
            return std::nullopt;
        }
        if (read.What == Read::Short) {
            Add(FindingClass::SizeDiffers, relative);
            return std::nullopt;
        }
        if (digest && platform::Sha256::Hex(read.Digest) != *digest) {
            Add(FindingClass::ContentDiffers, relative);
            return std::nullopt;
        }
        return read.Digest;
    }

    // The stored bytes of archive entries, read side by side on two streams;
    // none for an entry that cannot be read whole.
    std::vector<std::optional<platform::Sha256Digest>> Entries(TVrFileCollection& archive, const std::vector<const TVrFile*>& items)
    {
        std::vector<std::optional<platform::Sha256Digest>> digests = archive.StoredDigests(items, [this] { return Listen(); });
        for (const TVrFile* item : items)
            Count(std::max<int64_t>(0, item->Size));
        return digests;
    }

    Read HashFile(const AnsiString& path, int64_t size)
    {
        Read read;
        auto f = platform::File::Open(path, platform::File::Mode::Read);
        if (!f) {
            read.What = Read::Unreadable;
            return read;
        }
        platform::Sha256 sha;
        int64_t done = 0;
        for (;;) {
            int64_t n = f->Read(buffer_.data(), kBlock);
            if (n < 0) {
                read.What = Read::Unreadable;
                return read;
            }
            if (n == 0)
                break;
            sha.Update(buffer_.data(), static_cast<size_t>(n));
            done += n;
            Count(n);
        }
        if (done != size)
            read.What = Read::Short;
        read.Digest = sha.Finish();
        return read;
    }

    // Lets whoever watches the check listen; false once it is stopped.
    bool Listen()
    {
        if (progress_ && !stopped_)
            stopped_ = !progress_(0);
        return !stopped_;
    }

    void Count(int64_t n)
    {
        result_.Bytes += n;
        if (progress_ && !stopped_)
            stopped_ = !progress_(n);
    }

private:
    VerifyResult& result_;
    const VerifyProgress& progress_;
    std::vector<char> buffer_ = std::vector<char>(static_cast<size_t>(kBlock));
    bool stopped_ = false;
};

// The files below dir (relative to base), links and all, folders left out.
void ListTree(const AnsiString& base, const AnsiString& relative, StringList& files)
{
    for (const platform::DirEntry& e : SortedDirectory(base + relative)) {
        AnsiString name = relative + e.Name;
        if ((e.Attributes & 0x10) && !e.IsLink)
            ListTree(base, name + "\\", files);
        else
            files.push_back(name);
    }
}

// Every file below the installation that is not one of known (folded names).
void AddExtraFiles(Checker& checker, const AnsiString& installation, const std::set<AnsiString>& known)
{
    StringList files;
    ListTree(installation, "", files);
    for (const AnsiString& f : files)
        if (!known.count(AnsiLowerCase(f)))
            checker.Add(FindingClass::Extra, f);
}

// The archive of an installation, opened; none (and the finding told) when
// it cannot be read as a whole.
std::unique_ptr<TVrFileCollection> OpenArchive(Checker& checker, VerifyResult& result, const StringList& pieces)
{
    for (const AnsiString& piece : pieces)
        if (!platform::FileExists(result.Installation + piece)) {
            checker.Add(FindingClass::Missing, piece);
            result.ArchiveUnreadable = true;
        }
    if (result.ArchiveUnreadable)
        return nullptr;
    auto archive = std::make_unique<TVrFileCollection>();
    try {
        archive->Open(result.Installation + "game.dat");
        if (!archive->Stream)
            throw EVrArchiveError(AnsiString("game.dat"));
    } catch (const Exception&) {
        checker.Add(platform::CanOpenForReading(result.Installation + "game.dat") ? FindingClass::ContentDiffers
                                                                                  : FindingClass::Unreadable,
                    "game.dat");
        result.ArchiveUnreadable = true;
        return nullptr;
    }
    return archive;
}

std::unordered_map<AnsiString, TVrFile*> ByName(const TVrFileCollection& archive)
{
    std::unordered_map<AnsiString, TVrFile*> items;
    for (int32_t i = 0; i < archive.Count(); ++i)
        if (archive.Items(i).Name() != kVrEndMarker)
            items.emplace(AnsiLowerCase(archive.Items(i).Name()), &archive.Items(i));
    return items;
}

} // namespace

const char* FindingClassName(FindingClass c)
{
    switch (c) {
    case FindingClass::Missing: return "missing";
    case FindingClass::SizeDiffers: return "size differs";
    case FindingClass::ContentDiffers: return "content differs";
    case FindingClass::Unreadable: return "unreadable";
    case FindingClass::Extra: return "extra file";
    }
    return "";
}

int VerifyResult::Wrong() const
{
    int n = 0;
    for (const Finding& f : Findings)
        n += f.Class != FindingClass::Extra;
    return n;
}

int VerifyResult::Extra() const { return static_cast<int>(Findings.size()) - Wrong(); }

int64_t BytesToVerify(const TInstallManifest& record)
{
    int64_t bytes = 0;
    for (const TInstallManifest::File& f : record.Files)
        bytes += f.Size;
    for (const AnsiString& piece : record.ArchivePieces)
        bytes += std::max<int64_t>(0, platform::FileSize(record.Destination + piece));
    return bytes;
}

VerifyResult VerifyAgainstRecord(const TInstallManifest& record, const VerifyProgress& progress)
{
    VerifyResult result;
    result.Installation = AddBackslash(record.Destination);
    Checker checker(result, progress);
    std::set<AnsiString> known;
    for (const TInstallManifest::File& f : record.Files) {
        known.insert(AnsiLowerCase(f.Path));
        if (!checker.Stopped())
            checker.File(f.Path, f.Size, &f.Sha256);
    }
    for (const AnsiString& piece : record.ArchivePieces)
        known.insert(AnsiLowerCase(piece));
    if (!record.ArchivePieces.empty() && !checker.Stopped()) {
        if (std::unique_ptr<TVrFileCollection> archive = OpenArchive(checker, result, record.ArchivePieces)) {
            std::unordered_map<AnsiString, TVrFile*> items = ByName(*archive);
            std::set<AnsiString> recorded;
            std::vector<const TInstallManifest::Entry*> wanted;
            std::vector<const TVrFile*> found;
            for (const TInstallManifest::Entry& e : record.ArchiveEntries) {
                recorded.insert(AnsiLowerCase(e.Name));
                ++result.Entries;
                auto at = items.find(AnsiLowerCase(e.Name));
                if (at == items.end()) {
                    checker.Add(FindingClass::Missing, "game.dat", e.Name);
                    continue;
                }
                wanted.push_back(&e);
                found.push_back(at->second);
            }
            std::vector<std::optional<platform::Sha256Digest>> digests = checker.Entries(*archive, found);
            for (size_t i = 0; i < wanted.size() && !checker.Stopped(); ++i)
                if (!digests[i])
                    checker.Add(FindingClass::Unreadable, "game.dat", wanted[i]->Name);
                else if (platform::Sha256::Hex(*digests[i]) != wanted[i]->Sha256)
                    checker.Add(FindingClass::ContentDiffers, "game.dat", wanted[i]->Name);
            for (int32_t i = 0; i < archive->Count() && !checker.Stopped(); ++i) {
                const AnsiString& name = archive->Items(i).Name();
                if (name != kVrEndMarker && !recorded.count(AnsiLowerCase(name)))
                    checker.Add(FindingClass::Extra, "game.dat", name);
            }
        }
    }
    if (!checker.Stopped())
        AddExtraFiles(checker, result.Installation, known);
    return result;
}

VerifyResult VerifyAgainstDiscs(const AnsiString& installation, const DiscFolders& discs, const RunOptions& components,
                                const AnsiString& modulePath, const VerifyProgress& progress)
{
    VerifyResult result;
    result.Installation = AddBackslash(installation);
    result.AgainstDiscs = true;
    Checker checker(result, progress);
    std::set<AnsiString> known = { "install.dat" };
    // A later disc's file of the same name is the one the install left.
    std::map<AnsiString, std::pair<AnsiString, AnsiString>> files; // folded -> relative, source
    for (const auto& [n, dir] : discs) {
        const AnsiString s = AddBackslash(dir);
        for (const AnsiString& f : FilesToCopy(s, components)) {
            if (!HeldByDisc(f, s))
                continue; // never installed
            AnsiString relative = f.substr(s.size());
            // Where the disc's installer cannot run, the installed one is this program.
            if (!platform::DiscProgramsRunNatively() && !modulePath.empty() && SameText(relative, "install.exe"))
                files[AnsiLowerCase(relative)] = { relative, modulePath };
            else
                files[AnsiLowerCase(relative)] = { relative, f };
        }
    }
    for (const auto& [folded, file] : files) {
        known.insert(folded);
        if (checker.Stopped())
            break;
        const auto& [relative, source] = file;
        int64_t size = platform::FileSize(source);
        Read expected = checker.HashFile(source, size);
        if (expected.What != Read::Whole) {
            // The disc itself cannot be read: nothing to say of the installed file.
            checker.Add(FindingClass::Unreadable, relative);
            continue;
        }
        if (std::optional<platform::Sha256Digest> there = checker.File(relative, size, nullptr))
            if (*there != expected.Digest)
                checker.Add(FindingClass::ContentDiffers, relative);
    }
    if (components.Data && !checker.Stopped()) {
        StringList pieces;
        for (int i = 0; platform::FileExists(TTpBigFileStream::PieceNameOf(result.Installation + "game.dat", i)); ++i)
            pieces.push_back(ExtractFileName(TTpBigFileStream::PieceNameOf(result.Installation + "game.dat", i)));
        if (pieces.empty())
            pieces.push_back("game.dat");
        for (const AnsiString& piece : pieces)
            known.insert(AnsiLowerCase(piece));
        if (std::unique_ptr<TVrFileCollection> archive = OpenArchive(checker, result, pieces)) {
            std::unordered_map<AnsiString, TVrFile*> items = ByName(*archive);
            std::set<AnsiString> seen;
            for (const auto& [n, dir] : discs) {
                TVrFileCollection disc;
                disc.Open(AddBackslash(dir) + "game.dat");
                std::vector<const TVrFile*> fromDisc, there;
                for (int32_t i = 0; i < disc.Count(); ++i) {
                    const TVrFile& item = disc.Items(i);
                    // The first disc's entry of a name is the one merged.
                    if (item.Name() == kVrEndMarker || !seen.insert(AnsiLowerCase(item.Name())).second)
                        continue;
                    ++result.Entries;
                    auto at = items.find(AnsiLowerCase(item.Name()));
                    if (at == items.end()) {
                        checker.Add(FindingClass::Missing, "game.dat", item.Name());
                        continue;
                    }
                    fromDisc.push_back(&item);
                    there.push_back(at->second);
                }
                std::vector<std::optional<platform::Sha256Digest>> want = checker.Entries(disc, fromDisc);
                std::vector<std::optional<platform::Sha256Digest>> got = checker.Entries(*archive, there);
                for (size_t i = 0; i < fromDisc.size() && !checker.Stopped(); ++i)
                    if (!want[i] || !got[i])
                        checker.Add(FindingClass::Unreadable, "game.dat", fromDisc[i]->Name());
                    else if (*want[i] != *got[i])
                        checker.Add(FindingClass::ContentDiffers, "game.dat", fromDisc[i]->Name());
                if (checker.Stopped())
                    break;
            }
            for (const auto& [name, item] : items)
                if (!seen.count(name))
                    checker.Add(FindingClass::Extra, "game.dat", item->Name());
        }
    }
    if (!checker.Stopped())
        AddExtraFiles(checker, result.Installation, known);
    return result;
}

namespace {

// A relative path as the host writes it.
std::string HostRelative(const VerifyResult& result, const AnsiString& relative)
{
    std::string base = platform::DisplayPath(result.Installation);
    std::string full = platform::DisplayPath(result.Installation + relative);
    return full.compare(0, base.size(), base) == 0 ? full.substr(base.size()) : full;
}

std::string FindingPath(const VerifyResult& result, const Finding& f)
{
    std::string path = HostRelative(result, f.Path);
    if (!f.Entry.empty())
        path += ":" + AnsiToHostUtf8(f.Entry);
    return path;
}

} // namespace

std::string VerifyLines(const VerifyResult& result)
{
    std::string out;
    for (const Finding& f : result.Findings)
        out += std::string(FindingClassName(f.Class)) + "\t" + EscapeForLog(FindingPath(result, f)) + "\n";
    out += "checked " + std::to_string(result.Files) + " files and " + std::to_string(result.Entries) + " archive entries (" +
           std::to_string(result.Bytes) + " bytes) of " + EscapeForLog(platform::DisplayPath(result.Installation)) +
           (result.AgainstDiscs ? " against the discs" : " against its record") + ": " + std::to_string(result.Wrong()) +
           " wrong, " + std::to_string(result.Extra()) + " extra\n";
    return out;
}

std::string VerifyJson(const VerifyResult& result)
{
    using Json = nlohmann::json;
    Json j = { { "installation", platform::DisplayPath(result.Installation) },
               { "against", result.AgainstDiscs ? "discs" : "record" },
               { "files", result.Files },
               { "entries", result.Entries },
               { "bytes", result.Bytes },
               { "wrong", result.Wrong() },
               { "extra", result.Extra() },
               { "findings", Json::array() } };
    for (const Finding& f : result.Findings) {
        Json finding = { { "class", FindingClassName(f.Class) }, { "path", HostRelative(result, f.Path) } };
        if (!f.Entry.empty())
            finding["entry"] = AnsiToHostUtf8(f.Entry);
        j["findings"].push_back(finding);
    }
    return j.dump(1, '\t', false, Json::error_handler_t::replace) + "\n";
}

} // namespace tarn
