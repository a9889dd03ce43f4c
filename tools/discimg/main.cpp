// discimg: what a disc image holds, as the installer sees it: the container
// and its tracks, the volume, the names, and the files themselves.
#include <functional>

#include "base/codepage.h"
#include "base/format.h"
#include "base/log_text.h"
#include "base/path.h"
#include "common/command_line.h"
#include "common/tool_json.h"
#include "media/iso_fs.h"
#include "media/sector_source.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

#ifndef TARN_VERSION
#define TARN_VERSION "0"
#endif

namespace tarn::discimg {

namespace {

struct Options {
    std::string command, image, dir;
    std::vector<std::string> paths;
    bool json = false;
};

bool Parse(const std::vector<std::string>& args, Options& o)
{
    CLI::App app("Shows and extracts what a disc image (.iso, .bin/.cue, .img/.ccd, .nrg)\n"
                 "or a drive's device holds, with the names the installer reads.",
                 "discimg");
    tools::SetUpCommandLine(app, { "discimg info IMAGE [--json]", "discimg ls IMAGE [PATH] [--json]", "discimg extract IMAGE DIR [PATH...]" },
                            std::string("discimg ") + TARN_VERSION);
    CLI::App* info = app.add_subcommand("info", "the container, its tracks and the volume");
    tools::AddPositional(*info, "IMAGE", o.image, "the image, its cue sheet or a device")->required();
    info->add_flag("--json", o.json, "a JSON object");
    CLI::App* ls = app.add_subcommand("ls", "the files and folders below PATH (default: all):\n"
                                            "size, recording time, name");
    tools::AddPositional(*ls, "IMAGE", o.image, "the image")->required();
    tools::AddPositional(*ls, "PATH", o.paths, "a folder or file of the image")->expected(0, 1);
    ls->add_flag("--json", o.json, "a JSON array of {name, size, time, directory}");
    CLI::App* extract = app.add_subcommand("extract", "write the files (all, or those below the PATHs)\n"
                                                      "into DIR; unsafe names are skipped with a warning");
    tools::AddPositional(*extract, "IMAGE", o.image, "the image")->required();
    tools::AddPositional(*extract, "DIR", o.dir, "where to")->required();
    tools::AddPositional(*extract, "PATH", o.paths, "files or folders of the image");
    if (!tools::ParseCommandLine(app, args))
        return false;
    if (app.get_subcommands().empty())
        throw tools::UsageError("no command");
    o.command = app.get_subcommands().front()->get_name();
    return true;
}

std::unique_ptr<media::IsoFileSystem> OpenImage(const std::string& hostPath)
{
    AnsiString path = tools::PathArg(hostPath);
    if (platform::KindOf(path) == platform::EntryKind::Missing)
        throw tools::ToolError(hostPath + ": no such file");
    return std::make_unique<media::IsoFileSystem>(std::shared_ptr<media::SectorSource>(media::OpenSectorSource(path)), path);
}

const char* FormatName(media::SectorFormat f)
{
    switch (f) {
    case media::SectorFormat::Cooked2048: return "MODE1/2048";
    case media::SectorFormat::Mode1Raw: return "MODE1/2352";
    case media::SectorFormat::Mode2Raw: return "MODE2/2352";
    case media::SectorFormat::Mode2Cooked: return "MODE2/2336";
    case media::SectorFormat::Audio: return "AUDIO";
    }
    return "?";
}

const char* NameSetName(media::NameSet n)
{
    return n == media::NameSet::Joliet ? "joliet" : n == media::NameSet::Primary ? "primary" : "rockridge";
}

std::string TimeText(uint32_t dos)
{
    if (!dos)
        return "-";
    return Format(std::string_view("%.4d-%.2d-%.2d %.2d:%.2d:%.2d"),
                  { static_cast<int>((dos >> 25) + 1980), static_cast<int>(dos >> 21 & 15), static_cast<int>(dos >> 16 & 31),
                    static_cast<int>(dos >> 11 & 31), static_cast<int>(dos >> 5 & 63), static_cast<int>((dos & 31) * 2) });
}

void PrintWarnings(const media::IsoFileSystem& fs)
{
    for (const AnsiString& w : fs.Warnings())
        tools::Err("discimg: warning: " + Cp932ToUtf8Lossy(w) + "\n");
}

int Info(const Options& o)
{
    auto fs = OpenImage(o.image);
    const media::SourceInfo& source = fs->Source().Info();
    const media::VolumeInfo& volume = fs->Info();
    const media::TrackInfo& data = source.Tracks.at(static_cast<size_t>(source.DataTrack));
    if (o.json) {
        tools::Json tracks = tools::Json::array();
        for (const media::TrackInfo& t : source.Tracks)
            tracks.push_back({ { "number", t.Number }, { "format", FormatName(t.Format) }, { "file", platform::DisplayPath(t.File) },
                               { "offset", t.FileOffset }, { "start", t.Start }, { "sectors", t.Sectors } });
        tools::Json j = { { "container", source.Container },
                          { "tracks", tracks },
                          { "dataTrack", data.Number },
                          { "sectorFormat", FormatName(data.Format) },
                          { "volumeId", tools::CpText(volume.VolumeId) },
                          { "names", NameSetName(volume.Names) },
                          { "joliet", volume.HasJoliet },
                          { "rockRidge", volume.HasRockRidge },
                          { "size", volume.VolumeSectors * media::kSectorSize } };
        tools::Out(tools::DumpJson(j, 2) + "\n");
        return 0;
    }
    std::string text = "container:     " + source.Container + "\n";
    for (const media::TrackInfo& t : source.Tracks)
        text += Format(std::string_view("track %.2d:      %s, %d sectors from %d, "), { t.Number, FormatName(t.Format), t.Sectors, t.Start }) +
                platform::DisplayPath(t.File) + Format(std::string_view(" at %d\n"), { t.FileOffset });
    text += Format(std::string_view("data track:    %d (%s)\n"), { data.Number, FormatName(data.Format) });
    text += "volume id:     " + EscapeCp932ForLog(volume.VolumeId) + "\n";
    text += std::string("names:         ") + NameSetName(volume.Names) + "\n";
    text += std::string("joliet:        ") + (volume.HasJoliet ? "yes" : "no") + "\n";
    text += std::string("rock ridge:    ") + (volume.HasRockRidge ? "yes" : "no") + "\n";
    text += Format(std::string_view("size:          %d bytes\n"), { volume.VolumeSectors * media::kSectorSize });
    tools::Out(text);
    return 0;
}

AnsiString NameArg(const std::string& utf8)
{
    AnsiString name;
    if (!TryUtf8ToCp932(utf8, name))
        throw tools::ToolError("'" + utf8 + "' holds characters that CP932 cannot hold");
    for (char& c : name)
        if (c == '/')
            c = '\\';
    return name;
}

const media::DiscNode& Lookup(const media::IsoFileSystem& fs, const std::string& utf8)
{
    const media::DiscNode* node = fs.Find(NameArg(utf8));
    if (!node)
        throw tools::ToolError(utf8 + ": not on the disc");
    return *node;
}

// Every node below dir (depth first, in record order), with its path.
void Walk(const media::IsoFileSystem& fs, const media::DiscNode& dir, const AnsiString& prefix,
          const std::function<void(const media::DiscNode&, const AnsiString&)>& visit)
{
    for (const auto& child : fs.Children(dir)) {
        AnsiString path = prefix + child->Name;
        visit(*child, path);
        if (child->IsDirectory)
            Walk(fs, *child, path + "\\", visit);
    }
}

int Ls(const Options& o)
{
    auto fs = OpenImage(o.image);
    const media::DiscNode& start = o.paths.empty() ? fs->Root() : Lookup(*fs, o.paths.front());
    AnsiString prefix = o.paths.empty() || !start.IsDirectory ? AnsiString() : AddBackslash(NameArg(o.paths.front()));
    tools::Json list = tools::Json::array();
    std::string text;
    auto show = [&](const media::DiscNode& n, const AnsiString& path) {
        if (o.json) {
            list.push_back({ { "name", tools::CpText(path) }, { "size", n.Size }, { "time", TimeText(n.DosDateTime) }, { "directory", n.IsDirectory } });
        } else {
            text += Format(std::string_view("%12d %s "), { n.IsDirectory ? int64_t(0) : n.Size, TimeText(n.DosDateTime) });
            text += EscapeCp932ForLog(path) + (n.IsDirectory ? "\\\n" : "\n");
        }
    };
    if (start.IsDirectory)
        Walk(*fs, start, prefix, show);
    else
        show(start, NameArg(o.paths.front()));
    tools::Out(o.json ? tools::DumpJson(list, 2) + "\n" : text);
    PrintWarnings(*fs);
    return 0;
}

int Extract(const Options& o)
{
    auto fs = OpenImage(o.image);
    AnsiString outDir = AddBackslash(tools::PathArg(o.dir));
    int exitCode = 0;
    std::vector<std::pair<const media::DiscNode*, AnsiString>> files;
    auto collect = [&](const media::DiscNode& n, const AnsiString& path) { files.emplace_back(&n, path); };
    if (o.paths.empty()) {
        Walk(*fs, fs->Root(), "", collect);
    } else {
        for (const std::string& p : o.paths) {
            const media::DiscNode& n = Lookup(*fs, p);
            AnsiString path = ExcludeTrailingBackslash(NameArg(p));
            collect(n, path);
            if (n.IsDirectory)
                Walk(*fs, n, path + "\\", collect);
        }
    }
    int64_t total = 0;
    for (const auto& [n, path] : files)
        total += n->IsDirectory ? 0 : n->Size;
    tools::Progress progress("extract", total);
    int64_t done = 0;
    std::vector<uint8_t> buffer(1 << 20);
    for (const auto& [n, path] : files) {
        std::vector<std::string> parts = tools::SafeComponents(path);
        if (parts.empty()) {
            tools::Err("discimg: warning: skipped the unsafe name " + tools::DumpJson(tools::CpText(path)) + "\n");
            exitCode = 1;
            continue;
        }
        AnsiString target = outDir;
        for (size_t k = 0; k < parts.size(); ++k)
            target += (k ? "\\" : "") + parts[k];
        if (n->IsDirectory) {
            if (!platform::ForceDirectories(target))
                throw tools::ToolError(tools::Utf8Of(target) + ": cannot make the folder");
            continue;
        }
        platform::ForceDirectories(ExtractFilePath(target));
        TFileStream out(target, fmCreate);
        for (int64_t at = 0; at < n->Size;) {
            int64_t want = std::min<int64_t>(n->Size - at, static_cast<int64_t>(buffer.size()));
            int64_t got = fs->Read(*n, at, buffer.data(), want);
            if (got != want)
                ThrowReadError();
            out.WriteBuffer(buffer.data(), static_cast<int32_t>(got));
            at += got;
            done += got;
            progress.Update(done);
        }
        if (n->UnixTime)
            platform::SetFileTimeUnix(target, n->UnixTime);
    }
    PrintWarnings(*fs);
    return exitCode;
}

} // namespace

} // namespace tarn::discimg

int main(int argc, char** argv)
{
    using namespace tarn;
    return tools::RunTool("discimg", argc, argv, [](std::vector<std::string>& args) {
        discimg::Options o;
        if (!discimg::Parse(args, o))
            return 0;
        if (o.command == "info")
            return discimg::Info(o);
        if (o.command == "ls")
            return discimg::Ls(o);
        return discimg::Extract(o);
    });
}
