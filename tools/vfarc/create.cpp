// create: a new archive from files and directory trees.
#include <algorithm>

#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "vfarc.h"

namespace tarn::vfarc {

namespace {

// A host name that CP932 cannot hold comes back from the platform with a
// stand-in character that only means something inside this process; such a
// name cannot go into an archive.
void RequireCp932(const AnsiString& component, const AnsiString& path)
{
    AnsiString back;
    if (!TryUtf8ToCp932(AnsiToHostUtf8(component), back) || back != component)
        throw tools::ToolError(platform::DisplayPath(path) + ": the name holds characters that CP932 cannot hold");
}

// '*' any run of characters, '?' one character (of one or two bytes); ASCII
// letters without regard to case.
bool GlobMatch(std::string_view glob, std::string_view name)
{
    size_t g = 0, n = 0, starG = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        size_t len = CharLengthAt(name, n);
        if (g < glob.size() && glob[g] == '*') {
            starG = g++;
            starN = n;
            continue;
        }
        if (g < glob.size() && glob[g] == '?') {
            ++g;
            n += len;
            continue;
        }
        if (g < glob.size()) {
            size_t glen = CharLengthAt(glob, g);
            if (glen == len && CompareText(glob.substr(g, glen), name.substr(n, len)) == 0) {
                g += glen;
                n += len;
                continue;
            }
        }
        if (starG == std::string_view::npos)
            return false;
        g = starG + 1;
        starN += CharLengthAt(name, starN);
        n = starN;
    }
    while (g < glob.size() && glob[g] == '*')
        ++g;
    return g == glob.size();
}

class Inputs {
public:
    Inputs(const AnsiString& archive, int64_t pieceSize) : pieceSize_(pieceSize)
    {
        // The archive being written, its pieces and the work file never
        // become entries of themselves.
        AnsiString work = ExtractFilePath(archive) + kVrWorkFile;
        for (int i = 0; i < 10000; ++i) {
            AnsiString a = TTpBigFileStream::PieceNameOf(archive, i), w = TTpBigFileStream::PieceNameOf(work, i);
            bool any = false;
            if (platform::FileExists(a))
                skip_.push_back(a), any = true;
            if (platform::FileExists(w))
                skip_.push_back(w), any = true;
            if (!any && i > 0)
                break;
        }
    }

    void Add(const std::string& hostArg)
    {
        AnsiString path = tools::PathArg(hostArg);
        if (platform::FileExists(path)) {
            AnsiString name = ExtractFileName(path);
            RequireCp932(name, path);
            AddFile(name, path);
        } else if (platform::DirectoryExists(path)) {
            Walk(AddBackslash(path), "");
        } else {
            throw tools::ToolError(hostArg + ": no such file or directory");
        }
    }

    std::vector<TVrNewEntry> entries;
    int64_t total = 0;

private:
    void AddFile(const AnsiString& name, const AnsiString& path)
    {
        for (const AnsiString& s : skip_)
            if (SameText(s, path))
                return;
        TVrNewEntry e;
        e.Name = name;
        e.SourceFile = path;
        total += std::max<int64_t>(platform::FileSize(path), 0);
        entries.push_back(std::move(e));
    }

    void Walk(const AnsiString& dir, const AnsiString& prefix)
    {
        for (const platform::DirEntry& e : SortedDirectory(dir)) {
            AnsiString path = dir + e.Name;
            RequireCp932(e.Name, path);
            if (e.Attributes & faDirectory) {
                if (!e.IsLink)
                    Walk(path + "\\", prefix + e.Name + "\\");
            } else {
                AddFile(prefix + e.Name, path);
            }
        }
    }

    int64_t pieceSize_;
    StringList skip_;
};

} // namespace

int Create(const Options& o)
{
    AnsiString archive = tools::PathArg(o.args[0]);
    if (platform::DirectoryExists(archive))
        throw tools::ToolError(o.args[0] + ": is a directory");
    if (o.appended && !platform::FileExists(archive))
        throw tools::ToolError(o.args[0] + ": --appended needs the program to append to");
    std::vector<AnsiString> globs;
    for (const std::string& g : o.store)
        globs.push_back(EntryName(g));

    Inputs inputs(archive, o.pieceSize);
    for (size_t i = 1; i < o.args.size(); ++i)
        inputs.Add(o.args[i]);
    for (TVrNewEntry& e : inputs.entries)
        for (const AnsiString& g : globs)
            if (GlobMatch(g, e.Name))
                e.Store = true;

    TVrWriteOptions options;
    options.Version = o.version;
    options.Level = o.level;
    options.PieceSize = o.pieceSize;
    options.Appended = o.appended;
    tools::Progress progress("create", inputs.total);
    options.OnProgress = [&](size_t, int64_t done) { progress.Update(done); };
    WriteVrArchive(archive, inputs.entries, options);
    return 0;
}

} // namespace tarn::vfarc
