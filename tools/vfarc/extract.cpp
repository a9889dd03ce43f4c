// extract: archive entries as files below a directory, with names that can
// never reach outside it.
#include <set>

#include "common/tool.h"

#include "base/codepage.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/path.h"
#include "common/tool_json.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "vfarc.h"

namespace tarn::vfarc {

int Extract(const Options& o)
{
    TVrFileCollection c;
    OpenForReading(c, o, o.args[0]);
    AnsiString outDir = AddBackslash(tools::PathArg(o.hasOutput ? o.output : "."));
    int exitCode = 0;

    std::set<int32_t> chosen;
    for (size_t i = 1; i < o.args.size(); ++i) {
        AnsiString name = EntryName(o.args[i]);
        int32_t index = c.IndexOf(name);
        if (index < 0 || index == c.Count() - 1) {
            tools::Err("vfarc: " + Cp932ToUtf8Lossy(Format(msg::FileNotFound, { name })) + "\n");
            exitCode = 1;
        } else {
            chosen.insert(index);
        }
    }
    bool all = o.args.size() == 1;
    int64_t total = 0;
    for (int32_t i = 0; i + 1 < c.Count(); ++i)
        if (all || chosen.count(i))
            total += c.Items(i).Size;
    tools::Progress progress("extract", total);
    int64_t done = 0;
    TMemoryStream m;
    for (int32_t i = 0; i + 1 < c.Count(); ++i) {
        const TVrFile& f = c.Items(i);
        if (!all && !chosen.count(i))
            continue;
        // Of names that compare equal, the one a lookup finds is the one left
        // on disk, whatever the file system's case rules.
        if (c.IndexOf(f.Name()) != i)
            continue;
        std::vector<std::string> parts = tools::SafeComponents(f.Name());
        if (parts.empty()) {
            tools::Err("vfarc: warning: skipped the unsafe name " + tools::DumpJson(tools::CpText(f.Name())) + "\n");
            exitCode = 1;
            continue;
        }
        // The archived entry itself, never a loose file beside the archive.
        m.Clear();
        c.Stream->SetPosition(f.Offset);
        if (c.Stream->CopyToStream(m, f.Size) != f.Size)
            ThrowReadError();
        if (f.Stored == 0 && f.Size > 0)
            InflateEntry(m, f.Name());
        AnsiString target = outDir;
        for (size_t k = 0; k < parts.size(); ++k)
            target += (k ? "\\" : "") + parts[k];
        platform::ForceDirectories(ExtractFilePath(target));
        TFileStream out(target, fmCreate);
        out.WriteBuffer(m.Memory(), m.GetSize());
        done += f.Size;
        progress.Update(done);
    }
    return exitCode;
}

} // namespace tarn::vfarc
