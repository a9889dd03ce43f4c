#include "wizard/manifest.h"

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
        return m;
    } catch (const Exception&) {
        return std::nullopt;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

void TInstallManifest::Save() const
{
    AnsiString file = FileFor(Destination);
    platform::ForceDirectories(ExtractFilePath(file));
    WriteFileAtomically(file, ToJson());
}

bool TInstallManifest::Remove(const AnsiString& destination)
{
    AnsiString file = FileFor(destination);
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

} // namespace tarn
