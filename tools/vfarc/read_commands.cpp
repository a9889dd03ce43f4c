// list, cat, verify, merge: the commands that read archives as they are.
#include "base/codepage.h"
#include "base/format.h"
#include "base/log_text.h"
#include "common/tool_json.h"
#include "platform/platform.h"
#include "vfarc.h"

namespace tarn::vfarc {

int List(const Options& o)
{
    TVrFileCollection c;
    OpenForReading(c, o, o.args[0]);
    tools::Json list = tools::Json::array();
    std::string text;
    for (int32_t i = 0; i + 1 < c.Count(); ++i) { // without the end marker
        const TVrFile& f = c.Items(i);
        if (o.json) {
            list.push_back(
                { { "name", tools::CpText(f.Name()) }, { "offset", f.Offset }, { "size", f.Size }, { "stored", f.Stored ? 1 : 0 } });
        } else {
            // A name is the archive's to choose: one holding a line break or
            // a terminal's control sequence must not pass for other lines.
            text += Format(std::string_view("%10d %10d %d "), { f.Offset, f.Size, f.Stored ? 1 : 0 }) + EscapeCp932ForLog(f.Name()) + "\n";
        }
    }
    tools::Out(o.json ? tools::DumpJson(list, 2) + "\n" : text);
    return 0;
}

int Cat(const Options& o)
{
    TVrFileCollection c;
    OpenForReading(c, o, o.args[0]);
    AnsiString name = o.hasHexName ? tools::BytesOfHex(o.hexName, "--hex-name") : EntryName(o.args[1]);
    TMemoryStream m;
    c.LoadEntry(m, name);
    tools::Out(std::string_view(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize())));
    return 0;
}

int Verify(const Options& o)
{
    TVrFileCollection c;
    OpenForReading(c, o, o.args[0], false);
    std::vector<std::string> problems;
    for (const AnsiString& p : c.DirectoryProblems)
        problems.push_back(Cp932ToUtf8Lossy(p));
    int64_t size = c.Stream ? c.Stream->GetSize() : 0;
    int32_t entries = c.Count() > 0 ? c.Count() - 1 : 0;
    tools::Progress progress("verify", entries);
    for (int32_t i = 0; i < c.Count(); ++i) {
        const TVrFile& f = c.Items(i);
        std::string who = "entry " + std::to_string(i) + " (" + tools::Utf8Of(f.Name()) + ")";
        bool inside = true;
        if (f.Offset < 0 || f.Offset > size) {
            problems.push_back(who + ": offset " + std::to_string(f.Offset) + " lies outside the stream of " + std::to_string(size) + " bytes");
            inside = false;
        } else if (i + 1 < c.Count() && f.Offset + static_cast<int64_t>(f.Size) > size) {
            problems.push_back(who + ": its " + std::to_string(f.Size) + " bytes run past the end of the stream");
            inside = false;
        }
        if (i > 0 && f.Offset < c.Items(i - 1).Offset) {
            problems.push_back(who + ": offset " + std::to_string(f.Offset) + " is below the previous entry's " +
                               std::to_string(c.Items(i - 1).Offset));
            inside = false;
        }
        if (i + 1 < c.Count() && inside && f.Stored == 0 && f.Size > 0) {
            AnsiString fault = CheckZlibBytes(*c.Stream, f.Offset, f.Size);
            if (!fault.empty())
                problems.push_back(who + ": does not inflate: " + Cp932ToUtf8Lossy(fault));
        }
        progress.Update(i);
    }
    if (o.json) {
        tools::Json report = { { "entries", entries }, { "version", c.Version }, { "problems", problems } };
        tools::Out(tools::DumpJson(report, 2) + "\n");
    } else {
        std::string text;
        for (const std::string& p : problems)
            text += p + "\n";
        text += std::to_string(entries) + " entries, version " + std::to_string(c.Version) + ", " +
                (problems.empty() ? "no problems" : std::to_string(problems.size()) + " problem(s)") + "\n";
        tools::Out(text);
    }
    return problems.empty() ? 0 : 1;
}

int Merge(const Options& o)
{
    TVrFileCollection source, target;
    OpenForReading(source, o, o.args[1]);
    if (!source.Stream)
        throw tools::ToolError(o.args[1] + ": not an archive file");
    AnsiString targetPath = tools::PathArg(o.args[0]);
    if (platform::DirectoryExists(targetPath))
        throw tools::ToolError(o.args[0] + ": is a directory");
    target.PieceSize = o.pieceSize;
    target.MergeVersion = o.version;
    target.Open(targetPath, true);

    int64_t total = 0;
    for (int32_t i = 0; i < target.Count(); ++i)
        total += target.Items(i).Size;
    for (const TVrFile* f : target.NewEntriesFrom(source))
        total += f->Size;
    tools::Progress progress("merge", total);
    int64_t done = 0;
    target.OnProgress = [&](TVrFileCollection&, TVrFile&, int32_t size, bool&) {
        done += size;
        progress.Update(done);
    };
    target.Merge(source);
    return 0;
}

} // namespace tarn::vfarc
