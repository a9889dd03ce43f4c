// Reading the manifest: every key checked, every source found and every name
// on the discs and in the archives decided before the first byte is written.
#include <algorithm>

#include "base/codepage.h"
#include "base/path.h"
#include "common/install_json.h"
#include "common/tool.h"
#include "common/tool_json.h"
#include "mkdisc.h"
#include "platform/file_stream.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_rules.h"

namespace tarn::mkdisc {

using tools::Json;
using tools::ToolError;

namespace {

// The largest manifest read; a manifest is far smaller.
constexpr int64_t kMaxManifest = int64_t(64) << 20;

void OnlyKeys(const Json& o, const std::string& where, std::initializer_list<const char*> keys)
{
    if (!o.is_object())
        throw ToolError(where + ": expected a JSON object");
    for (const auto& [key, value] : o.items()) {
        bool known = false;
        for (const char* k : keys)
            known = known || key == k;
        if (!known)
            throw ToolError(where + ": unknown key: " + key);
    }
}

const std::string& StringOf(const Json& v, const std::string& where)
{
    if (!v.is_string() || v.get_ref<const std::string&>().empty())
        throw ToolError(where + ": expected a non-empty text");
    return v.get_ref<const std::string&>();
}

int64_t IntegerOf(const Json& v, const std::string& where, int64_t min, int64_t max)
{
    int64_t n = 0;
    if (!tools::JsonInteger(v, n) || n < min || n > max)
        throw ToolError(where + ": expected an integer in " + std::to_string(min) + ".." + std::to_string(max) + ", got " +
                        tools::DumpJson(v));
    return n;
}

bool BoolOf(const Json& v, const std::string& where)
{
    if (!v.is_boolean())
        throw ToolError(where + ": expected true or false");
    return v.get<bool>();
}

// A name CP932 cannot hold comes from the platform with a stand-in character
// that means something only inside this process: it cannot go onto a disc.
bool IsCp932Name(const AnsiString& name)
{
    AnsiString back;
    return TryUtf8ToCp932(AnsiToHostUtf8(name), back) && back == name;
}

// A path on a disc or in an archive, from the manifest's text: CP932, '/' or
// '\' between parts, relative, without "." or ".." parts. A trailing
// separator (kept as '\') marks a folder.
AnsiString DiscPathOf(const std::string& text, const std::string& where)
{
    AnsiString path;
    if (!TryUtf8ToCp932(text, path))
        throw ToolError(where + ": text that CP932 cannot hold: " + text);
    for (size_t i = 0; i < path.size(); i += CharLengthAt(path, i))
        if (path[i] == '/')
            path[i] = '\\';
    auto bad = [&](const char* why) { return ToolError(where + ": " + why + ": " + text); };
    if (path.empty() || path[0] == '\\')
        throw bad("expected a relative path");
    // Stepping by characters, so that the 0x5C ending a two-byte character is
    // never taken for a separator.
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); i += i < path.size() ? CharLengthAt(path, i) : 1) {
        if (i < path.size() && path[i] != '\\') {
            if (path[i] == ':')
                throw bad("expected a relative path without a drive");
            continue;
        }
        std::string_view part = std::string_view(path).substr(start, i - start);
        if (part == "." || part == "..")
            throw bad("'.' and '..' are not allowed in a path");
        if (part.empty() && i < path.size())
            throw bad("empty part in the path");
        start = i + 1;
    }
    return path;
}

const Json* Find(const Json& o, const char* key) { return tools::JsonMember(o, key); }

bool IsFolderPath(const AnsiString& path) { return !path.empty() && IsPathSeparator(path, static_cast<int>(path.size())); }

class Reader {
public:
    Reader(const AnsiString& dir, std::string shown, const Defines& defines) : dir_(dir), shown_(std::move(shown)), defines_(defines) { }

    Manifest Read(std::string_view text)
    {
        Json root;
        try {
            root = tools::ParseJson(text);
        } catch (const tools::JsonError& e) {
            throw ToolError(shown_ + ": " + e.what());
        }
        OnlyKeys(root, shown_, { "install", "title_image", "piece_size", "discs" });
        Manifest m;
        const Json* discs = Find(root, "discs");
        if (!discs || !discs->is_array() || discs->empty())
            throw ToolError(shown_ + ": discs: expected an array of at least one disc");
        if (discs->size() > 99)
            throw ToolError(shown_ + ": discs: at most 99 discs");
        discCount_ = static_cast<int32_t>(discs->size());
        if (const Json* install = Find(root, "install"))
            m.Install = CheckedInstall(*install, shown_ + ": install", -1);
        if (const Json* title = Find(root, "title_image"))
            m.Title = ReadTitle(*title, shown_ + ": title_image", m.Install);
        if (const Json* piece = Find(root, "piece_size"))
            m.PieceSize = IntegerOf(*piece, shown_ + ": piece_size", 1, int64_t(1) << 40);
        for (size_t i = 0; i < discs->size(); ++i)
            m.Discs.push_back(ReadDisc((*discs)[i], shown_ + ": discs[" + std::to_string(i) + "]", m, static_cast<int32_t>(i)));
        return m;
    }

private:
    // The description's keys are checked here already, so that a mistake
    // names its place in the manifest. DiscIndex and DiscCount are mkdisc's:
    // a value given for them must be the one it sets.
    Json CheckedInstall(const Json& o, const std::string& where, int32_t index)
    {
        TTarnInstallSet probe;
        probe.SetDiscCount(discCount_);
        tools::ApplyInstallJson(o, probe, where + ": ");
        if (o.contains("DiscCount") && probe.DiscCount() != discCount_)
            throw ToolError(where + ": DiscCount is " + std::to_string(probe.DiscCount()) + ", but the manifest has " +
                            std::to_string(discCount_) + " discs (leave it out)");
        if (o.contains("DiscIndex") && (index < 0 ? discCount_ != 1 || probe.DiscIndex != 0 : probe.DiscIndex != index))
            throw ToolError(where + ": DiscIndex is set by mkdisc for every disc (leave it out)");
        return o;
    }

    // The picture's entry name and seed are the description's TitleImage and
    // ImageSeed: one given on either side is taken for the other.
    TitleSpec ReadTitle(const Json& o, const std::string& where, Json& install)
    {
        OnlyKeys(o, where, { "src", "name", "seed", "version", "scramble", "tile" });
        TitleSpec t;
        const Json* src = Find(o, "src");
        if (!src)
            throw ToolError(where + ": missing key: src");
        t.Shown = StringOf(*src, where + ": src");
        t.Source = SourcePath(t.Shown, where + ": src");
        if (!platform::FileExists(t.Source))
            throw ToolError(where + ": src: no such file: " + platform::DisplayPath(t.Source));
        if (const Json* name = Find(o, "name")) {
            t.Name = DiscPathOf(StringOf(*name, where + ": name"), where + ": name");
            if (IsFolderPath(t.Name))
                throw ToolError(where + ": name: expected an entry name, not a folder");
        }
        if (const Json* seed = Find(o, "seed"))
            t.Seed = static_cast<int32_t>(static_cast<uint32_t>(IntegerOf(*seed, where + ": seed", INT32_MIN, UINT32_MAX)));
        if (const Json* version = Find(o, "version"))
            t.Version = static_cast<int32_t>(IntegerOf(*version, where + ": version", 0, 999));
        if (const Json* scramble = Find(o, "scramble"))
            t.Scramble = BoolOf(*scramble, where + ": scramble");
        if (const Json* tile = Find(o, "tile")) {
            if (!tile->is_array() || tile->size() != 2)
                throw ToolError(where + ": tile: expected [width, height]");
            t.TileWidth = static_cast<int32_t>(IntegerOf((*tile)[0], where + ": tile", 0, 65535));
            t.TileHeight = static_cast<int32_t>(IntegerOf((*tile)[1], where + ": tile", 0, 65535));
        }
        TTarnInstallSet shared;
        shared.SetDiscCount(discCount_);
        tools::ApplyInstallJson(install, shared);
        if (t.Name.empty()) {
            if (!install.contains("TitleImage") || shared.TitleImage.empty())
                throw ToolError(where + ": name: missing, and install has no TitleImage");
            t.Name = shared.TitleImage;
        } else if (!install.contains("TitleImage")) {
            install["TitleImage"] = tools::CpText(t.Name);
        }
        if (!t.Seed) {
            t.Seed = shared.ImageSeed;
        } else if (!install.contains("ImageSeed")) {
            install["ImageSeed"] = *t.Seed;
        } else if (shared.ImageSeed != *t.Seed) {
            throw ToolError(where + ": seed " + std::to_string(*t.Seed) + " differs from install's ImageSeed " +
                            std::to_string(shared.ImageSeed) + ": the picture could not be read");
        }
        return t;
    }

    DiscSpec ReadDisc(const Json& o, const std::string& where, const Manifest& m, int32_t index)
    {
        OnlyKeys(o, where, { "install", "files", "archive" });
        DiscSpec d;
        if (const Json* install = Find(o, "install"))
            d.Install = CheckedInstall(*install, where + ": install", index);
        if (const Json* files = Find(o, "files")) {
            if (!files->is_array())
                throw ToolError(where + ": files: expected an array");
            for (size_t i = 0; i < files->size(); ++i)
                AddFiles(d, (*files)[i], where + ": files[" + std::to_string(i) + "]");
        }
        if (const Json* archive = Find(o, "archive")) {
            if (!archive->is_array())
                throw ToolError(where + ": archive: expected an array");
            for (size_t i = 0; i < archive->size(); ++i)
                AddEntries(d, (*archive)[i], where + ": archive[" + std::to_string(i) + "]");
        }
        if (m.Title)
            CheckEntryName(d, m.Title->Name, where + ": archive (with title_image)");
        return d;
    }

    // "${NAME}" or "${NAME}/rest" from --define; otherwise relative to the
    // manifest's folder unless absolute.
    AnsiString SourcePath(const std::string& text, const std::string& where)
    {
        std::string rest = text;
        AnsiString base = dir_;
        if (text.starts_with("${")) {
            size_t close = text.find('}');
            if (close == std::string::npos)
                throw ToolError(where + ": unclosed ${ in " + text);
            std::string name = text.substr(2, close - 2);
            auto it = defines_.find(name);
            if (it == defines_.end())
                throw ToolError(where + ": ${" + name + "} is not defined (give it with --define " + name + "=PATH)");
            base = AddBackslash(tools::PathArg(it->second));
            rest = text.substr(close + 1);
            if (rest.empty())
                return tools::PathArg(it->second);
            if (rest[0] != '/' && rest[0] != '\\')
                throw ToolError(where + ": expected '/' after ${" + name + "} in " + text);
            rest = rest.substr(1);
        } else if (text[0] == '/' || text[0] == '\\' || (text.size() >= 2 && text[1] == ':')) {
            return tools::PathArg(text);
        }
        AnsiString path = base;
        size_t start = 0;
        for (size_t i = 0; i <= rest.size(); ++i) {
            if (i < rest.size() && rest[i] != '/' && rest[i] != '\\')
                continue;
            if (i > start) {
                if (!path.empty() && !IsPathSeparator(path, static_cast<int>(path.size())))
                    path += '\\';
                path += HostUtf8ToAnsi(rest.substr(start, i - start), true);
            }
            start = i + 1;
        }
        return path;
    }

    // Files of a folder, below it, sorted by name so that every run builds the same discs.
    void Walk(const AnsiString& dir, const AnsiString& prefix, std::vector<std::pair<AnsiString, AnsiString>>& out, const std::string& where)
    {
        for (const platform::DirEntry& e : SortedDirectory(dir)) {
            AnsiString path = dir + e.Name;
            if (!IsCp932Name(e.Name))
                throw ToolError(where + ": " + platform::DisplayPath(path) + ": the name holds characters that CP932 cannot hold");
            if (e.Attributes & 0x10) {
                if (!e.IsLink)
                    Walk(path + "\\", prefix + e.Name + "\\", out, where);
            } else {
                out.emplace_back(path, prefix + e.Name);
            }
        }
    }

    // (source, path below the given folder or the file's name) for a file or a folder.
    std::vector<std::pair<AnsiString, AnsiString>> Sources(const Json& o, const std::string& where, bool& isFolder)
    {
        const Json* src = Find(o, "src");
        if (!src)
            throw ToolError(where + ": missing key: src");
        const std::string& text = StringOf(*src, where + ": src");
        AnsiString path = SourcePath(text, where + ": src");
        std::vector<std::pair<AnsiString, AnsiString>> out;
        isFolder = platform::DirectoryExists(path);
        if (isFolder) {
            Walk(AddBackslash(path), "", out, where);
        } else if (platform::FileExists(path)) {
            AnsiString name = ExtractFileName(path);
            if (!IsCp932Name(name))
                throw ToolError(where + ": " + platform::DisplayPath(path) + ": the name holds characters that CP932 cannot hold");
            out.emplace_back(path, name);
        } else {
            throw ToolError(where + ": src: no such file or folder: " + platform::DisplayPath(path));
        }
        return out;
    }

    // A file's place: the given path, or the given folder (trailing separator)
    // with the file's own name; a folder's files go below the given folder.
    static AnsiString Place(const AnsiString& given, const AnsiString& below, bool isFolder)
    {
        if (given.empty())
            return below;
        if (isFolder || IsFolderPath(given))
            return AddBackslash(given) + below;
        return given;
    }

    void AddFiles(DiscSpec& d, const Json& o, const std::string& where)
    {
        OnlyKeys(o, where, { "src", "dest" });
        bool isFolder = false;
        auto sources = Sources(o, where, isFolder);
        AnsiString dest;
        if (const Json* v = Find(o, "dest"))
            dest = DiscPathOf(StringOf(*v, where + ": dest"), where + ": dest");
        for (auto& [source, below] : sources) {
            AnsiString place = Place(dest, below, isFolder);
            std::string shown = Cp932ToUtf8Lossy(place);
            if (ExtractFilePath(place).empty()) {
                AnsiString ext = ExtractFileExt(place);
                if (SameText(place, "game.dat") || SameText(place, "install.dat") ||
                    (SameText(ChangeFileExt(place, ""), "game") && IsNumberedPieceExt(ext)))
                    throw ToolError(where + ": " + shown + " on the disc is made by mkdisc");
            }
            for (const FileInput& f : d.Files)
                if (SameText(f.Dest, place))
                    throw ToolError(where + ": " + shown + " is on the disc twice");
            d.Files.push_back({ source, place });
        }
    }

    void CheckEntryName(const DiscSpec& d, const AnsiString& name, const std::string& where)
    {
        for (const EntryInput& e : d.Entries)
            if (SameText(e.Name, name))
                throw ToolError(where + ": the entry " + Cp932ToUtf8Lossy(name) + " is in the archive twice");
    }

    void AddEntries(DiscSpec& d, const Json& o, const std::string& where)
    {
        OnlyKeys(o, where, { "src", "name", "stored" });
        bool isFolder = false;
        auto sources = Sources(o, where, isFolder);
        AnsiString name;
        if (const Json* v = Find(o, "name"))
            name = DiscPathOf(StringOf(*v, where + ": name"), where + ": name");
        bool stored = false;
        if (const Json* v = Find(o, "stored"))
            stored = BoolOf(*v, where + ": stored");
        for (auto& [source, below] : sources) {
            AnsiString entry = Place(name, below, isFolder);
            CheckEntryName(d, entry, where);
            d.Entries.push_back({ source, entry, stored });
        }
    }

    AnsiString dir_;
    std::string shown_;
    int32_t discCount_ = 0;
    const Defines& defines_;
};

} // namespace

Manifest ReadManifest(const AnsiString& path, const std::string& shown, const Defines& defines)
{
    if (!platform::FileExists(path))
        throw ToolError(shown + ": no such file");
    if (platform::FileSize(path) > kMaxManifest)
        throw ToolError(shown + ": too large for a manifest");
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    return ReadManifestText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), ExtractFilePath(path), shown,
                            defines);
}

Manifest ReadManifestText(std::string_view text, const AnsiString& dir, const std::string& shown, const Defines& defines)
{
    return Reader(dir, shown, defines).Read(text);
}

} // namespace tarn::mkdisc
