// instdat: shows, creates and edits installation descriptions (install.dat).
#include <cstdio>

#include "base/codepage.h"
#include "base/error.h"
#include "common/command_line.h"
#include "common/install_json.h"
#include "common/tool.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "setup/install_set.h"

using namespace tarn;
using namespace tarn::tools;

namespace {

const char kStrings[] =
    "Strings are UTF-8 text, or {\"hex\": \"...\"} in JSON (hex:... with set) when their\n"
    "bytes are not plain CP932 text. Numbers are decimal or 0x hexadecimal; the\n"
    "per-disc lists (ProgramSizes, DataSizes, SoundSizes, MovieSizes) are written\n"
    "with set as DiscCount numbers separated by commas. Setting DiscCount resizes\n"
    "the lists (new entries are 0) before the lists of the same call are set.\n"
    "\n";

// The largest JSON description read (a description is far smaller than this).
constexpr size_t kMaxJson = size_t(1) << 30;

using Kind = InstallFieldKind;
using Field = InstallField;

// ---- reading and showing ----

// Loads a description; returns how many bytes follow Installed.
int64_t Load(TTarnInstallSet& d, const AnsiString& path)
{
    TFileStream stream(path, fmOpenRead);
    d.LoadFromStream(stream, path);
    return static_cast<int64_t>(stream.GetSize()) - stream.GetPosition();
}

void WarnExtra(const std::string& file, int64_t extra)
{
    if (extra > 0)
        Err("instdat: warning: " + file + ": " + std::to_string(extra) +
            " bytes after Installed are ignored and would not be written back\n");
}

std::string Megabytes(int32_t bytes)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d bytes (%.2f MB)", bytes, bytes / 1048576.0);
    return buf;
}

std::string TextForPerson(const AnsiString& s)
{
    if (RoundTripsCp932(s))
        return "\"" + Utf8Of(s) + "\"";
    return "\"" + Utf8Of(s) + "\" (not CP932 text; hex " + HexOf(s) + ")";
}

std::string ForPerson(const TTarnInstallSet& d, const std::string& file)
{
    static const char* const layouts[] = { "centred", "stretched", "tiled" };
    std::string out = "install.dat " + file + "\n";
    auto line = [&](const char* name, const std::string& value) {
        std::string label = name;
        label.resize(14, ' ');
        out += "  " + label + value + "\n";
    };
    for (const Field& f : InstallFields()) {
        switch (f.Type) {
        case Kind::String: line(f.Name, TextForPerson(d.*f.Text)); break;
        case Kind::Int32:
            if (f.Int == &TTarnInstallSet::ImageSeed) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(d.ImageSeed));
                line(f.Name, std::to_string(d.ImageSeed) + " (" + hex + ")");
            } else if (f.Int == &TTarnInstallSet::DiscIndex) {
                bool inRange = d.DiscIndex >= 0 && d.DiscIndex < d.DiscCount();
                line(f.Name, std::to_string(d.DiscIndex) + (inRange ? "" : " (outside the set of discs)"));
            } else {
                line(f.Name, Megabytes(d.*f.Int));
            }
            break;
        case Kind::Byte: {
            int v = d.*f.Byte;
            std::string value = std::to_string(v);
            if (f.Byte == &TTarnInstallSet::ImageLayout)
                value += v < 3 ? std::string(" (") + layouts[v] + ")" : " (not drawn)";
            line(f.Name, value);
            break;
        }
        case Kind::DiscCount: line(f.Name, std::to_string(d.DiscCount())); break;
        case Kind::Installed: line(f.Name, std::to_string(d.Installed) + (d.Installed ? " (installed copy)" : " (disc)")); break;
        case Kind::List:
            if (f.List != 0)
                break;
            for (int32_t i = 0; i < d.DiscCount(); ++i) {
                out += "  disc " + std::to_string(i) + "\n";
                static const char* const names[] = { "program", "data", "sound", "movie" };
                for (int k = 0; k < 4; ++k) {
                    std::string label = names[k];
                    label.resize(12, ' ');
                    out += "    " + label + Megabytes(InstallListOf(d, k)[static_cast<size_t>(i)]) + "\n";
                }
            }
            break;
        }
    }
    return out;
}

int Show(const std::string& file, bool json)
{
    TTarnInstallSet d;
    int64_t extra = Load(d, PathArg(file));
    WarnExtra(file, extra);
    Out(json ? DumpJson(InstallSetToJson(d), 2) + "\n" : ForPerson(d, file));
    return 0;
}

// ---- creating from JSON ----

std::string ReadInput(const std::string& from)
{
    if (from == "-") {
        std::string text;
        if (!platform::ReadStdin(text, kMaxJson))
            throw ToolError("cannot read standard input");
        return text;
    }
    std::vector<uint8_t> bytes = ReadWholeFile(PathArg(from));
    return std::string(bytes.begin(), bytes.end());
}

int Create(const std::string& out, const std::string& from)
{
    if (out.empty() || from.empty())
        throw UsageError("create needs OUT and --from FILE.json (or - for standard input)");
    std::string shown = from == "-" ? std::string("standard input") : from;
    InstallSetFromJsonText(ReadInput(from), shown).SaveToFile(PathArg(out));
    return 0;
}

// ---- setting fields in place ----

std::vector<int32_t> ListFrom(const std::string& text, const Field& f)
{
    std::vector<int32_t> values;
    if (text.empty())
        return values;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        values.push_back(static_cast<int32_t>(ParseInteger(item, f.Name, INT32_MIN, INT32_MAX)));
        if (comma == std::string::npos)
            return values;
        start = comma + 1;
    }
}

int Set(const std::string& file, const std::vector<std::string>& assignments)
{
    std::vector<std::pair<const Field*, std::string>> changes;
    for (const std::string& a : assignments) {
        size_t eq = a.find('=');
        if (eq == std::string::npos)
            throw UsageError("expected FIELD=VALUE: " + a);
        const Field* f = FindInstallField(std::string_view(a).substr(0, eq));
        if (!f)
            throw UsageError("unknown field: " + a.substr(0, eq));
        changes.emplace_back(f, a.substr(eq + 1));
    }

    AnsiString path = PathArg(file);
    TTarnInstallSet d;
    WarnExtra(file, Load(d, path));
    // DiscCount first, so that the lists of the same call have its length.
    for (const auto& [f, value] : changes)
        if (f->Type == Kind::DiscCount)
            d.SetDiscCount(static_cast<int32_t>(ParseInteger(value, f->Name, 0, TTarnInstallSet::MaxDiscCount)));
    for (const auto& [f, value] : changes) {
        int64_t min, max;
        InstallFieldRange(*f, min, max);
        switch (f->Type) {
        case Kind::DiscCount: break;
        case Kind::Int32:
            // A seed is any 32 bits: 0x80000000 and above are accepted as written.
            d.*f->Int = f->Int == &TTarnInstallSet::ImageSeed ? ParseSeed(value, f->Name)
                                                                : static_cast<int32_t>(ParseInteger(value, f->Name, min, max));
            break;
        case Kind::Byte:
        case Kind::Installed: d.*f->Byte = static_cast<uint8_t>(ParseInteger(value, f->Name, min, max)); break;
        case Kind::String:
            if (value.starts_with("hex:"))
                d.*f->Text = BytesOfHex(value.substr(4), f->Name);
            else if (!TryUtf8ToCp932(value, d.*f->Text))
                throw ToolError(std::string(f->Name) + ": text that CP932 cannot hold: " + value);
            break;
        case Kind::List: {
            std::vector<int32_t> values = ListFrom(value, *f);
            if (values.size() != static_cast<size_t>(d.DiscCount()))
                throw ToolError(std::string(f->Name) + ": expected DiscCount (" + std::to_string(d.DiscCount()) + ") numbers, got " +
                                std::to_string(values.size()));
            std::span<int32_t> list = InstallListOf(d, f->List);
            std::copy(values.begin(), values.end(), list.begin());
            break;
        }
        }
    }
    d.SaveToFile(path);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return RunTool("instdat", argc, argv, [](std::vector<std::string>& args) {
        CLI::App app("Shows, creates and edits an installation description (install.dat).", "instdat");
        SetUpCommandLine(app,
                         { "instdat show FILE [--json]", "instdat create OUT --from FILE.json|-", "instdat set FILE FIELD=VALUE..." },
                         "instdat " TARN_VERSION);
        std::string file, out, from;
        bool json = false;
        std::vector<std::string> assignments;

        CLI::App* show = app.add_subcommand("show", "the fields for a person (sizes also in MB)");
        AddPositional(*show, "FILE", file, "the description")->required();
        show->add_flag("--json", json, "one JSON object whose keys are the field names");

        CLI::App* create = app.add_subcommand("create", "writes OUT from a JSON object (as show --json)");
        AddPositional(*create, "OUT", out, "the description to write")->required();
        create->add_option("--from", from, "the JSON object (- for standard input)")->type_name("FILE.json|-")->required();

        CLI::App* set = app.add_subcommand("set", "changes fields in place");
        AddPositional(*set, "FILE", file, "the description")->required();
        AddPositional(*set, "FIELD=VALUE", assignments, "a field and its new value, e.g. DataSizes=1,2")->required();
        for (CLI::App* command : { &app, show, create, set })
            command->footer(kStrings + std::string(kExitStatusHelp));

        if (!ParseCommandLine(app, args))
            return 0;
        if (show->parsed())
            return Show(file, json);
        if (create->parsed())
            return Create(out, from);
        if (set->parsed())
            return Set(file, assignments);
        throw UsageError("no command given");
    });
}
