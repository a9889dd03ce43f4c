#include "wizard/manifest.h"

#include <unordered_map>
#include <unordered_set>

#include <algorithm>
#include <charconv>

#include <nlohmann/json.hpp>

#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "platform/sha256.h"

namespace tarn {

namespace {

using Json = nlohmann::json;

// Records are UTF-8; program text is CP932 (with the process's slots for
// host characters CP932 lacks, which the host form carries over).
std::string Text(const AnsiString& s) { return AnsiToHostUtf8(s); }
AnsiString Program(const Json& j) { return HostUtf8ToAnsi(j.get<std::string>()); }

constexpr int kFormat = 1;

} // namespace

AnsiString TInstallManifest::FileFor(const AnsiString& destination)
{
    // One record per folder, whatever letter case the folder is written in.
    std::string digest = platform::Sha256::Hex(platform::Sha256::Of(AnsiLowerCase(ExcludeTrailingBackslash(destination))));
    return platform::ProgramDataDirectory() + "installations\\" + digest.substr(0, 32) + ".json";
}

AnsiString TInstallManifest::JournalOf(const AnsiString& recordFile) { return ChangeFileExt(recordFile, ".journal"); }

namespace {

// Folds the journal's lines into m; a line that does not read (the last
// one, cut short by a kill) is passed over.
void FoldJournal(TInstallManifest& m, const AnsiString& journal)
{
    if (!platform::FileExists(journal))
        return;
    std::vector<uint8_t> bytes = ReadWholeFile(journal);
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // Where each name is in the record already (folded): a journal of
    // thousands of lines folds in linear time.
    std::unordered_map<AnsiString, size_t> files, entries;
    std::unordered_set<AnsiString> folders;
    for (size_t i = 0; i < m.Files.size(); ++i)
        files.emplace(AnsiLowerCase(m.Files[i].Path), i);
    for (size_t i = 0; i < m.ArchiveEntries.size(); ++i)
        entries.emplace(AnsiLowerCase(m.ArchiveEntries[i].Name), i);
    for (const AnsiString& f : m.Folders)
        folders.insert(AnsiLowerCase(f));
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos)
            break; // no line ends without its newline but one cut short
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        Json j = Json::parse(line, nullptr, false);
        if (!j.is_object())
            continue;
        try {
            if (j.contains("file")) {
                AnsiString path = Program(j.at("file"));
                PutByName(files, m.Files, path,
                          TInstallManifest::File{ path, j.at("size").get<int64_t>(), j.at("sha256").get<std::string>(), j.at("disc").get<int>() });
            } else if (j.contains("entry")) {
                AnsiString name = Program(j.at("entry"));
                PutByName(entries, m.ArchiveEntries, name, TInstallManifest::Entry{ name, j.at("sha256").get<std::string>() });
            } else if (j.contains("folder")) {
                AnsiString folder = Program(j.at("folder"));
                if (folders.insert(AnsiLowerCase(folder)).second)
                    m.Folders.push_back(folder);
            }
        } catch (const Json::exception&) {
        } catch (const Exception&) {
        }
    }
}

} // namespace

std::optional<TInstallManifest> TInstallManifest::Load(const AnsiString& destination, AnsiString* unreadable)
{
    AnsiString file = FileFor(destination);
    if (!platform::FileExists(file))
        return std::nullopt;
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeFile(file);
    } catch (const Exception& e) {
        if (unreadable)
            *unreadable = platform::ShownPath(file) + ": " + e.Message();
        return std::nullopt;
    }
    try {
        TInstallManifest m = FromJson(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        // A record of another folder under the same name is no record of this one.
        if (!SameText(ExcludeTrailingBackslash(m.Destination), ExcludeTrailingBackslash(destination)))
            return std::nullopt;
        if (!m.Complete) {
            try {
                FoldJournal(m, JournalOf(file));
            } catch (const Exception& e) {
                // Half of what the record knows is no record to go by.
                if (unreadable)
                    *unreadable = platform::ShownPath(JournalOf(file)) + ": " + e.Message();
                return std::nullopt;
            }
        }
        return m;
    } catch (const Exception&) {
        return std::nullopt;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

namespace {

// What a record says at its top level about whose it is; arrays and the
// objects in them are passed over unbuilt.
class RecordHead : public nlohmann::json_sax<Json> {
public:
    std::optional<std::string> Destination, Title;
    std::optional<number_unsigned_t> Format;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t n) override
    {
        if (depth_ == 1 && key_ == "tarn-setup installation")
            Format = n;
        return true;
    }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t& s) override
    {
        if (depth_ == 1 && key_ == "destination")
            Destination = s;
        else if (depth_ == 1 && key_ == "title")
            Title = s;
        return true;
    }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return ++depth_, true; }
    bool key(string_t& k) override
    {
        if (depth_ == 1)
            key_ = k;
        return true;
    }
    bool end_object() override { return --depth_, true; }
    bool start_array(std::size_t) override { return ++depth_, true; }
    bool end_array() override { return --depth_, true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    int depth_ = 0;
    std::string key_;
};

} // namespace

std::optional<AnsiString> TInstallManifest::TitleOf(const AnsiString& destination)
{
    AnsiString file = FileFor(destination);
    if (!platform::FileExists(file))
        return std::nullopt;
    try {
        std::vector<uint8_t> bytes = ReadWholeFile(file);
        RecordHead head;
        if (!Json::sax_parse(bytes.begin(), bytes.end(), &head) || head.Format != static_cast<unsigned>(kFormat) || !head.Destination ||
            !head.Title)
            return std::nullopt;
        if (!SameText(ExcludeTrailingBackslash(HostUtf8ToAnsi(*head.Destination)), ExcludeTrailingBackslash(destination)))
            return std::nullopt;
        return HostUtf8ToAnsi(*head.Title);
    } catch (const Exception&) {
        return std::nullopt;
    }
}

void TInstallManifest::Save() const
{
    AnsiString file = FileFor(Destination);
    platform::ForceDirectories(ExtractFilePath(file));
    WriteFileAtomically(file, ToJson());
    if (Complete && platform::FileExists(JournalOf(file)))
        platform::RemoveFile(JournalOf(file));
}

bool TInstallManifest::Remove(const AnsiString& destination)
{
    AnsiString file = FileFor(destination);
    if (platform::FileExists(JournalOf(file)))
        platform::RemoveFile(JournalOf(file));
    return !platform::FileExists(file) || platform::RemoveFile(file);
}

bool TInstallManifest::Lists(const AnsiString& relative) const
{
    for (const File& f : Files)
        if (SameText(f.Path, relative))
            return true;
    for (const AnsiString& piece : ArchivePieces)
        if (SameText(piece, relative))
            return true;
    return false;
}

std::string TInstallManifest::ToJson() const
{
    Json j;
    j["tarn-setup installation"] = kFormat;
    j["complete"] = Complete;
    j["uninstalling"] = Uninstalling;
    j["destination"] = Text(Destination);
    j["title"] = Text(Title);
    j["registry_key"] = Text(RegistryKey);
    j["components"] = Json::array();
    for (const AnsiString& c : Components)
        j["components"].push_back(Text(c));
    j["discs"] = Discs;
    Json places = Json::object();
    for (const auto& [disc, place] : DiscPlaces)
        places[std::to_string(disc)] = Text(place);
    j["disc_places"] = places;
    j["folders"] = Json::array();
    for (const AnsiString& f : Folders)
        j["folders"].push_back(Text(f));
    j["files"] = Json::array();
    for (const File& f : Files)
        j["files"].push_back({ { "path", Text(f.Path) }, { "size", f.Size }, { "sha256", f.Sha256 }, { "disc", f.Disc } });
    Json archive = { { "pieces", Json::array() }, { "entries", Json::array() } };
    for (const AnsiString& p : ArchivePieces)
        archive["pieces"].push_back(Text(p));
    for (const Entry& e : ArchiveEntries)
        archive["entries"].push_back({ { "name", Text(e.Name) }, { "sha256", e.Sha256 } });
    j["archive"] = archive;
    j["group"] = Json::array();
    for (const GroupFile& g : Group)
        j["group"].push_back({ { "path", Text(g.Path) }, { "sha256", g.Sha256 } });
    if (RegistryValue.empty())
        j["registry"] = Json::object();
    else
        j["registry"] = { { "InstallPath", Text(RegistryValue) } };
    return j.dump(1, '\t', false, Json::error_handler_t::strict) + "\n";
}

TInstallManifest TInstallManifest::FromJson(std::string_view text)
{
    Json j = Json::parse(text);
    if (!j.is_object() || j.value("tarn-setup installation", 0) != kFormat)
        throw EConvertError(u8"インストールの記録ではありません", {});
    TInstallManifest m;
    m.Complete = j.at("complete").get<bool>();
    m.Uninstalling = j.value("uninstalling", false);
    m.Destination = AddBackslash(Program(j.at("destination")));
    m.Title = Program(j.at("title"));
    m.RegistryKey = Program(j.at("registry_key"));
    for (const Json& c : j.at("components"))
        m.Components.push_back(Program(c));
    m.Discs = j.at("discs").get<std::vector<int>>();
    // Records written before the places were kept have none.
    if (j.contains("disc_places"))
        for (const auto& [key, place] : j.at("disc_places").items()) {
            int disc = 0;
            auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), disc);
            if (error == std::errc() && end == key.data() + key.size() && disc > 0 && place.is_string())
                m.DiscPlaces[disc] = Program(place);
        }
    for (const Json& f : j.at("folders"))
        m.Folders.push_back(Program(f));
    for (const Json& f : j.at("files"))
        m.Files.push_back({ Program(f.at("path")), f.at("size").get<int64_t>(), f.at("sha256").get<std::string>(), f.at("disc").get<int>() });
    const Json& archive = j.at("archive");
    for (const Json& p : archive.at("pieces"))
        m.ArchivePieces.push_back(Program(p));
    for (const Json& e : archive.at("entries"))
        m.ArchiveEntries.push_back({ Program(e.at("name")), e.at("sha256").get<std::string>() });
    for (const Json& g : j.at("group"))
        m.Group.push_back({ Program(g.at("path")), g.at("sha256").get<std::string>() });
    if (j.at("registry").contains("InstallPath"))
        m.RegistryValue = Program(j.at("registry").at("InstallPath"));
    return m;
}

TInstallJournal::TInstallJournal(const AnsiString& destination, const TInstallManifest* carried)
{
    AnsiString journal = TInstallManifest::JournalOf(TInstallManifest::FileFor(destination));
    platform::ForceDirectories(ExtractFilePath(journal));
    if (carried) {
        file_ = platform::File::Open(journal, platform::File::Mode::Create);
        if (file_) {
            std::string lines;
            gathering_ = &lines;
            for (const AnsiString& folder : carried->Folders)
                AddFolder(folder);
            for (const TInstallManifest::File& f : carried->Files)
                Add(f);
            for (const TInstallManifest::Entry& e : carried->ArchiveEntries)
                Add(e);
            gathering_ = nullptr;
            if (file_->Write(lines.data(), static_cast<int64_t>(lines.size())) != static_cast<int64_t>(lines.size()))
                file_.reset();
        }
        return;
    }
    file_ = platform::File::Open(journal, platform::File::Mode::ReadWrite);
    if (!file_)
        file_ = platform::File::Open(journal, platform::File::Mode::Create);
    if (file_)
        file_->Seek(file_->Size());
}

TInstallJournal::~TInstallJournal() = default;

void TInstallJournal::Add(const TInstallManifest::File& file)
{
    Line(Json{ { "file", Text(file.Path) }, { "size", file.Size }, { "sha256", file.Sha256 }, { "disc", file.Disc } }.dump());
}

void TInstallJournal::Add(const TInstallManifest::Entry& entry)
{
    Line(Json{ { "entry", Text(entry.Name) }, { "sha256", entry.Sha256 } }.dump());
}

void TInstallJournal::AddFolder(const AnsiString& relative) { Line(Json{ { "folder", Text(relative) } }.dump()); }

void TInstallJournal::Line(const std::string& text)
{
    if (!file_)
        return;
    if (gathering_) {
        *gathering_ += text;
        *gathering_ += '\n';
        return;
    }
    std::string line = text + "\n";
    if (file_->Write(line.data(), static_cast<int64_t>(line.size())) != static_cast<int64_t>(line.size()))
        file_.reset();
}

} // namespace tarn
