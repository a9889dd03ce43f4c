// instdat: shows, creates and edits installation descriptions (install.dat).
#include <cstdio>

#include "base/codepage.h"
#include "base/error.h"
#include "common/tool.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "setup/install_set.h"

using namespace tarn;
using namespace tarn::tools;

namespace {

const char kUsage[] =
    "Usage: instdat show FILE [--json]\n"
    "       instdat create OUT --from FILE.json|-\n"
    "       instdat set FILE FIELD=VALUE...\n"
    "\n"
    "Shows, creates and edits an installation description (install.dat).\n"
    "\n"
    "  show FILE           the fields for a person (sizes also in MB)\n"
    "  show FILE --json    one JSON object whose keys are the field names\n"
    "  create OUT --from F writes OUT from such a JSON object (F = - for standard input)\n"
    "  set FILE F=V...     changes fields in place\n"
    "\n"
    "Strings are UTF-8 text, or {\"hex\": \"...\"} in JSON (hex:... with set) when their\n"
    "bytes are not plain CP932 text. Numbers are decimal or 0x hexadecimal; the\n"
    "per-disc lists (ProgramSizes, DataSizes, SoundSizes, MovieSizes) are written\n"
    "with set as DiscCount numbers separated by commas. Setting DiscCount resizes\n"
    "the lists (new entries are 0) before the lists of the same call are set.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Exit status: 0 success, 1 bad input or failed operation, 2 wrong usage.\n";

// The largest JSON description read (a description is far smaller than this).
constexpr size_t kMaxJson = size_t(1) << 30;

enum class Kind { Int32, Byte, String, DiscCount, List, Installed };

struct Field {
    const char* Name;
    Kind Type;
    int32_t TTarnInstallSet::*Int = nullptr;
    uint8_t TTarnInstallSet::*Byte = nullptr;
    AnsiString TTarnInstallSet::*Text = nullptr;
    int List = -1;
};

// In file order; the JSON keys are these names.
const Field kFields[] = {
    { "DiscIndex", Kind::Int32, &TTarnInstallSet::DiscIndex },
    { "Title", Kind::String, nullptr, nullptr, &TTarnInstallSet::Title },
    { "FooterText", Kind::String, nullptr, nullptr, &TTarnInstallSet::FooterText },
    { "DefaultDir", Kind::String, nullptr, nullptr, &TTarnInstallSet::DefaultDir },
    { "ReadmeFile", Kind::String, nullptr, nullptr, &TTarnInstallSet::ReadmeFile },
    { "OpenReadme", Kind::Byte, nullptr, &TTarnInstallSet::OpenReadme },
    { "TitleImage", Kind::String, nullptr, nullptr, &TTarnInstallSet::TitleImage },
    { "ImageLayout", Kind::Byte, nullptr, &TTarnInstallSet::ImageLayout },
    { "DiscCount", Kind::DiscCount },
    { "GameExe", Kind::String, nullptr, nullptr, &TTarnInstallSet::GameExe },
    { "ImageSeed", Kind::Int32, &TTarnInstallSet::ImageSeed },
    { "SetupButtons", Kind::Byte, nullptr, &TTarnInstallSet::SetupButtons },
    { "Reserved", Kind::Byte, nullptr, &TTarnInstallSet::Reserved },
    { "MediaName", Kind::String, nullptr, nullptr, &TTarnInstallSet::MediaName },
    { "RegistryKey", Kind::String, nullptr, nullptr, &TTarnInstallSet::RegistryKey },
    { "ProgramSizes", Kind::List, nullptr, nullptr, nullptr, 0 },
    { "DataSizes", Kind::List, nullptr, nullptr, nullptr, 1 },
    { "SoundSizes", Kind::List, nullptr, nullptr, nullptr, 2 },
    { "MovieSizes", Kind::List, nullptr, nullptr, nullptr, 3 },
    { "ProgramTotal", Kind::Int32, &TTarnInstallSet::ProgramTotal },
    { "DataTotal", Kind::Int32, &TTarnInstallSet::DataTotal },
    { "SoundTotal", Kind::Int32, &TTarnInstallSet::SoundTotal },
    { "MovieTotal", Kind::Int32, &TTarnInstallSet::MovieTotal },
    { "Installed", Kind::Installed, nullptr, &TTarnInstallSet::Installed },
};

const Field* FindField(std::string_view name)
{
    for (const Field& f : kFields)
        if (name == f.Name)
            return &f;
    return nullptr;
}

std::span<int32_t> ListOf(TTarnInstallSet& d, int list)
{
    switch (list) {
    case 0: return d.ProgramSizes();
    case 1: return d.DataSizes();
    case 2: return d.SoundSizes();
    default: return d.MovieSizes();
    }
}

std::span<const int32_t> ListOf(const TTarnInstallSet& d, int list)
{
    return ListOf(const_cast<TTarnInstallSet&>(d), list);
}

// The value range of a number field.
void RangeOf(const Field& f, int64_t& min, int64_t& max)
{
    switch (f.Type) {
    case Kind::Byte: min = 0, max = 255; break;
    case Kind::Installed: min = 0, max = 1; break;
    case Kind::DiscCount: min = 0, max = TTarnInstallSet::MaxDiscCount; break;
    default: min = INT32_MIN, max = INT32_MAX; break;
    }
}

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

Json ToJson(const TTarnInstallSet& d)
{
    Json o = Json::Object();
    for (const Field& f : kFields) {
        switch (f.Type) {
        case Kind::Int32: o.Set(f.Name, Json(d.*f.Int)); break;
        case Kind::Byte:
        case Kind::Installed: o.Set(f.Name, Json(int(d.*f.Byte))); break;
        case Kind::String: o.Set(f.Name, CpText(d.*f.Text)); break;
        case Kind::DiscCount: o.Set(f.Name, Json(d.DiscCount())); break;
        case Kind::List: {
            Json a = Json::Array();
            for (int32_t v : ListOf(d, f.List))
                a.Push(Json(v));
            o.Set(f.Name, std::move(a));
            break;
        }
        }
    }
    return o;
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
    for (const Field& f : kFields) {
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
                    out += "    " + label + Megabytes(ListOf(d, k)[static_cast<size_t>(i)]) + "\n";
                }
            }
            break;
        }
    }
    return out;
}

int Show(const std::vector<std::string>& args)
{
    bool json = false;
    std::string file;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json")
            json = true;
        else if (args[i].starts_with("-") && args[i] != "-")
            throw UsageError("unknown option for show: " + args[i]);
        else if (file.empty())
            file = args[i];
        else
            throw UsageError("show takes one file");
    }
    if (file.empty())
        throw UsageError("show needs a file");
    TTarnInstallSet d;
    int64_t extra = Load(d, PathArg(file));
    WarnExtra(file, extra);
    Out(json ? ToJson(d).Dump(2) + "\n" : ForPerson(d, file));
    return 0;
}

// ---- creating from JSON ----

int32_t NumberFrom(const Json& v, const Field& f)
{
    int64_t min, max;
    RangeOf(f, min, max);
    auto bad = [&] { return ToolError(std::string(f.Name) + ": expected an integer in " + std::to_string(min) + ".." + std::to_string(max) + ", got " + v.Dump()); };
    if (!v.IsNumber())
        throw bad();
    int64_t n;
    try {
        n = v.AsInteger();
    } catch (const JsonError&) {
        throw bad();
    }
    if (n < min || n > max)
        throw bad();
    return static_cast<int32_t>(n);
}

TTarnInstallSet FromJson(const Json& o)
{
    if (!o.IsObject())
        throw ToolError("the description must be one JSON object");
    for (const auto& [key, value] : o.Members())
        if (!FindField(key))
            throw ToolError("unknown key: " + key);
    const Json* count = o.Find("DiscCount");
    if (!count)
        throw ToolError("missing key: DiscCount");
    int32_t discs = NumberFrom(*count, *FindField("DiscCount"));
    // The lists' lengths are checked before the count sizes anything.
    for (const Field& f : kFields) {
        const Json* v = o.Find(f.Name);
        if (f.Type == Kind::List && v && (!v->IsArray() || v->Size() != static_cast<size_t>(discs)))
            throw ToolError(std::string(f.Name) + ": expected an array of DiscCount (" + std::to_string(discs) + ") numbers");
    }
    TTarnInstallSet d;
    d.SetDiscCount(discs);
    for (const Field& f : kFields) {
        const Json* v = o.Find(f.Name);
        if (!v)
            throw ToolError(std::string("missing key: ") + f.Name);
        switch (f.Type) {
        case Kind::Int32: d.*f.Int = NumberFrom(*v, f); break;
        case Kind::Byte:
        case Kind::Installed: d.*f.Byte = static_cast<uint8_t>(NumberFrom(*v, f)); break;
        case Kind::String: d.*f.Text = CpTextFrom(*v, f.Name); break;
        case Kind::DiscCount: break;
        case Kind::List: {
            Field entry = f;
            entry.Type = Kind::Int32;
            std::span<int32_t> list = ListOf(d, f.List);
            for (size_t i = 0; i < list.size(); ++i)
                list[i] = NumberFrom((*v)[i], entry);
            break;
        }
        }
    }
    return d;
}

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

int Create(const std::vector<std::string>& args)
{
    std::string out, from;
    bool haveFrom = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--from") {
            if (i + 1 >= args.size())
                throw UsageError("--from needs a file (or - for standard input)");
            from = args[++i], haveFrom = true;
        } else if (args[i].starts_with("--from=")) {
            from = args[i].substr(7), haveFrom = true;
        } else if (args[i].starts_with("-") && args[i] != "-") {
            throw UsageError("unknown option for create: " + args[i]);
        } else if (out.empty()) {
            out = args[i];
        } else {
            throw UsageError("create takes one output file");
        }
    }
    if (out.empty() || !haveFrom || from.empty())
        throw UsageError("create needs OUT and --from FILE.json (or - for standard input)");
    Json o;
    try {
        o = Json::Parse(ReadInput(from));
    } catch (const JsonError& e) {
        throw ToolError((from == "-" ? std::string("standard input") : from) + ": " + e.what());
    }
    FromJson(o).SaveToFile(PathArg(out));
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

int Set(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        throw UsageError("set needs a file and FIELD=VALUE");
    if (args.size() < 3)
        throw UsageError("set needs at least one FIELD=VALUE");
    std::string file = args[1];
    std::vector<std::pair<const Field*, std::string>> changes;
    for (size_t i = 2; i < args.size(); ++i) {
        size_t eq = args[i].find('=');
        if (eq == std::string::npos)
            throw UsageError("expected FIELD=VALUE: " + args[i]);
        const Field* f = FindField(std::string_view(args[i]).substr(0, eq));
        if (!f)
            throw UsageError("unknown field: " + args[i].substr(0, eq));
        changes.emplace_back(f, args[i].substr(eq + 1));
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
        RangeOf(*f, min, max);
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
            std::span<int32_t> list = ListOf(d, f->List);
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
        if (args.empty())
            throw UsageError("no command given");
        const std::string& command = args[0];
        if (command == "--help" || command == "-h") {
            Out(kUsage);
            return 0;
        }
        if (command == "--version") {
            Out("instdat " TARN_VERSION "\n");
            return 0;
        }
        for (const std::string& a : args)
            if (a == "--help") {
                Out(kUsage);
                return 0;
            }
        if (command == "show")
            return Show(args);
        if (command == "create")
            return Create(args);
        if (command == "set")
            return Set(args);
        throw UsageError("unknown command: " + command);
    });
}
