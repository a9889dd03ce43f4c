// The JSON files people write for the tools, through the tools' own readers:
// each input is read as a description (instdat create --from) and as a disc
// set's manifest (mkdisc). Anything either reads or is refused with a
// ToolError. What reads keeps the readers' promises:
// - JSON read and written again is the same value;
// - a description written as JSON (instdat show --json) reads back to the
//   same bytes of install.dat;
// - a manifest's descriptions apply to every disc without an error, and the
//   names it puts on a disc or into an archive are relative, without "." or
//   "..", and unique on their disc.
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "common/install_json.h"
#include "common/tool.h"
#include "common/tool_json.h"
#include "fuzz_support.h"
#include "mkdisc/mkdisc.h"
#include "platform/platform.h"
#include "tool_json_sources.h"

namespace {

using namespace tarn;
using tools::Json;

// The source tree manifests name, for the life of the process.
class SourceTree {
public:
    SourceTree()
    {
        std::random_device rd;
        dir_ = platform::TempDirectory() + "tarn-fuzz-tool-json-" + std::to_string(rd()) + "\\";
        for (const char* rel : fuzz::kManifestSources) {
            AnsiString path = dir_ + Program(rel);
            fuzz::SaveSeed(ExtractFilePath(path), ExtractFileName(path), rel);
            files_.push_back(path);
        }
        for (const fuzz::ManifestDefine& d : fuzz::kManifestDefines) {
            std::string host;
            if (!platform::HostPath(dir_ + Program(d.Path), host))
                std::abort();
            defines_[d.Name] = host;
        }
    }
    ~SourceTree()
    {
        std::vector<AnsiString> dirs;
        for (const AnsiString& f : files_) {
            platform::RemoveFile(f);
            for (AnsiString d = ExtractFilePath(f); d.size() > dir_.size(); d = ExtractFilePath(ExcludeTrailingBackslash(d)))
                dirs.push_back(d);
        }
        // Deepest first, so that each folder is empty when it goes.
        std::sort(dirs.begin(), dirs.end(), [](const AnsiString& a, const AnsiString& b) { return a.size() > b.size(); });
        dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
        for (const AnsiString& d : dirs)
            platform::RemoveDir(ExcludeTrailingBackslash(d));
        platform::RemoveDir(ExcludeTrailingBackslash(dir_));
    }
    const AnsiString& Dir() const { return dir_; }
    const mkdisc::Defines& Defines() const { return defines_; }

private:
    static AnsiString Program(std::string rel)
    {
        std::replace(rel.begin(), rel.end(), '/', '\\');
        return rel;
    }

    AnsiString dir_;
    std::vector<AnsiString> files_;
    mkdisc::Defines defines_;
};

// Sources may be absolute or climb out of the manifest's folder, as a person
// may want; a fuzzed one would walk the machine's whole disk.
bool StaysInTree(const Json& v)
{
    if (v.is_array()) {
        for (const Json& item : v)
            if (!StaysInTree(item))
                return false;
        return true;
    }
    if (!v.is_object())
        return true;
    for (const auto& [key, value] : v.items()) {
        if (key == "src" && value.is_string()) {
            const std::string& s = value.get_ref<const std::string&>();
            if (s.starts_with("/") || s.starts_with("\\") || s.find(':') != std::string::npos || s.find("..") != std::string::npos)
                return false;
        }
        if (!StaysInTree(value))
            return false;
    }
    return true;
}

void CheckJson(std::string_view text)
{
    Json value;
    try {
        value = tools::ParseJson(text);
    } catch (const tools::JsonError&) {
        return;
    }
    if (tools::ParseJson(tools::DumpJson(value)) != value || tools::ParseJson(tools::DumpJson(value, 2)) != value)
        std::abort();
}

void CheckDescription(std::string_view text)
{
    TTarnInstallSet d;
    try {
        d = tools::InstallSetFromJsonText(text, "description.json");
    } catch (const tools::ToolError&) {
        return;
    }
    std::string written = tools::DumpJson(tools::InstallSetToJson(d), 2);
    if (tools::InstallSetFromJsonText(written, "show --json").SaveToBytes() != d.SaveToBytes())
        std::abort();
}

// Stepping by CP932 characters, as mkdisc does: the second byte of a
// character may be the byte of a backslash.
bool IsPlainRelative(const AnsiString& path)
{
    if (path.empty() || path[0] == '\\')
        return false;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); i += i < path.size() ? CharLengthAt(path, i) : 1) {
        if (i < path.size() && path[i] == ':')
            return false;
        if (i < path.size() && path[i] != '\\')
            continue;
        std::string_view part = std::string_view(path).substr(start, i - start);
        if (part == "." || part == ".." || (part.empty() && i < path.size()))
            return false;
        start = i + 1;
    }
    return true;
}

void CheckManifest(std::string_view text)
{
    static SourceTree tree;
    try {
        if (!StaysInTree(tools::ParseJson(text)))
            return;
    } catch (const tools::JsonError&) {
        return;
    }
    mkdisc::Manifest m;
    try {
        m = mkdisc::ReadManifestText(text, tree.Dir(), "manifest.json", tree.Defines());
    } catch (const tools::ToolError&) {
        return;
    }
    int32_t discs = static_cast<int32_t>(m.Discs.size());
    if (discs < 1 || discs > 99)
        std::abort();
    for (const mkdisc::DiscSpec& disc : m.Discs) {
        TTarnInstallSet d;
        d.SetDiscCount(discs);
        tools::ApplyInstallJson(m.Install, d);
        tools::ApplyInstallJson(disc.Install, d);
        if (d.DiscCount() != discs)
            std::abort();
        for (size_t i = 0; i < disc.Files.size(); ++i) {
            if (!IsPlainRelative(disc.Files[i].Dest))
                std::abort();
            for (size_t k = 0; k < i; ++k)
                if (SameText(disc.Files[i].Dest, disc.Files[k].Dest))
                    std::abort();
        }
        for (size_t i = 0; i < disc.Entries.size(); ++i) {
            if (!IsPlainRelative(disc.Entries[i].Name) || (m.Title && SameText(disc.Entries[i].Name, m.Title->Name)))
                std::abort();
            for (size_t k = 0; k < i; ++k)
                if (SameText(disc.Entries[i].Name, disc.Entries[k].Name))
                    std::abort();
        }
    }
    if (m.Title && !IsPlainRelative(m.Title->Name))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckJson(text);
    CheckDescription(text);
    CheckManifest(text);
    return 0;
}
