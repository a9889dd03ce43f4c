#include "common/install_json.h"

#include "common/tool.h"

namespace tarn::tools {

namespace {

using K = InstallFieldKind;

const InstallField kFields[] = {
    { "DiscIndex", K::Int32, &TTarnInstallSet::DiscIndex },
    { "Title", K::String, nullptr, nullptr, &TTarnInstallSet::Title },
    { "FooterText", K::String, nullptr, nullptr, &TTarnInstallSet::FooterText },
    { "DefaultDir", K::String, nullptr, nullptr, &TTarnInstallSet::DefaultDir },
    { "ReadmeFile", K::String, nullptr, nullptr, &TTarnInstallSet::ReadmeFile },
    { "OpenReadme", K::Byte, nullptr, &TTarnInstallSet::OpenReadme },
    { "TitleImage", K::String, nullptr, nullptr, &TTarnInstallSet::TitleImage },
    { "ImageLayout", K::Byte, nullptr, &TTarnInstallSet::ImageLayout },
    { "DiscCount", K::DiscCount },
    { "GameExe", K::String, nullptr, nullptr, &TTarnInstallSet::GameExe },
    { "ImageSeed", K::Int32, &TTarnInstallSet::ImageSeed },
    { "SetupButtons", K::Byte, nullptr, &TTarnInstallSet::SetupButtons },
    { "Reserved", K::Byte, nullptr, &TTarnInstallSet::Reserved },
    { "MediaName", K::String, nullptr, nullptr, &TTarnInstallSet::MediaName },
    { "RegistryKey", K::String, nullptr, nullptr, &TTarnInstallSet::RegistryKey },
    { "ProgramSizes", K::List, nullptr, nullptr, nullptr, 0 },
    { "DataSizes", K::List, nullptr, nullptr, nullptr, 1 },
    { "SoundSizes", K::List, nullptr, nullptr, nullptr, 2 },
    { "MovieSizes", K::List, nullptr, nullptr, nullptr, 3 },
    { "ProgramTotal", K::Int32, &TTarnInstallSet::ProgramTotal },
    { "DataTotal", K::Int32, &TTarnInstallSet::DataTotal },
    { "SoundTotal", K::Int32, &TTarnInstallSet::SoundTotal },
    { "MovieTotal", K::Int32, &TTarnInstallSet::MovieTotal },
    { "Installed", K::Installed, nullptr, &TTarnInstallSet::Installed },
};

int32_t NumberFrom(const Json& v, const InstallField& f, const std::string& what)
{
    int64_t min, max, n;
    InstallFieldRange(f, min, max);
    if (!JsonInteger(v, n) || n < min || n > max)
        throw ToolError(what + f.Name + ": expected an integer in " + std::to_string(min) + ".." + std::to_string(max) + ", got " +
                        DumpJson(v));
    return static_cast<int32_t>(n);
}

void FromJson(const Json& o, TTarnInstallSet& d, bool partial, const std::string& what)
{
    if (!o.is_object())
        throw ToolError(what.empty() ? std::string("the description must be one JSON object") : what + "expected a JSON object");
    for (const auto& [key, value] : o.items())
        if (!FindInstallField(key))
            throw ToolError(what + "unknown key: " + key);
    const Json* count = JsonMember(o, "DiscCount");
    if (!count && !partial)
        throw ToolError(what + "missing key: DiscCount");
    int32_t discs = count ? NumberFrom(*count, *FindInstallField("DiscCount"), what) : d.DiscCount();
    // The lists' lengths are checked before the count sizes anything.
    for (const InstallField& f : kFields) {
        const Json* v = JsonMember(o, f.Name);
        if (f.Type == K::List && v && (!v->is_array() || v->size() != static_cast<size_t>(discs)))
            throw ToolError(what + f.Name + ": expected an array of DiscCount (" + std::to_string(discs) + ") numbers");
    }
    // Every value is checked before d changes, so that a bad object leaves it as it was.
    TTarnInstallSet result = d;
    result.SetDiscCount(discs);
    for (const InstallField& f : kFields) {
        const Json* v = JsonMember(o, f.Name);
        if (!v) {
            if (partial)
                continue;
            throw ToolError(what + "missing key: " + f.Name);
        }
        switch (f.Type) {
        case K::Int32: result.*f.Int = NumberFrom(*v, f, what); break;
        case K::Byte:
        case K::Installed: result.*f.Byte = static_cast<uint8_t>(NumberFrom(*v, f, what)); break;
        case K::String: result.*f.Text = CpTextFrom(*v, what + f.Name); break;
        case K::DiscCount: break;
        case K::List: {
            InstallField entry = f;
            entry.Type = K::Int32;
            std::span<int32_t> list = InstallListOf(result, f.List);
            for (size_t i = 0; i < list.size(); ++i)
                list[i] = NumberFrom((*v)[i], entry, what);
            break;
        }
        }
    }
    d = std::move(result);
}

} // namespace

std::span<const InstallField> InstallFields() { return kFields; }

const InstallField* FindInstallField(std::string_view name)
{
    for (const InstallField& f : kFields)
        if (name == f.Name)
            return &f;
    return nullptr;
}

std::span<int32_t> InstallListOf(TTarnInstallSet& d, int list)
{
    switch (list) {
    case 0: return d.ProgramSizes();
    case 1: return d.DataSizes();
    case 2: return d.SoundSizes();
    default: return d.MovieSizes();
    }
}

std::span<const int32_t> InstallListOf(const TTarnInstallSet& d, int list)
{
    return InstallListOf(const_cast<TTarnInstallSet&>(d), list);
}

void InstallFieldRange(const InstallField& f, int64_t& min, int64_t& max)
{
    switch (f.Type) {
    case K::Byte: min = 0, max = 255; break;
    case K::Installed: min = 0, max = 1; break;
    case K::DiscCount: min = 0, max = TTarnInstallSet::MaxDiscCount; break;
    default: min = INT32_MIN, max = INT32_MAX; break;
    }
}

Json InstallSetToJson(const TTarnInstallSet& d)
{
    Json o = Json::object();
    for (const InstallField& f : kFields) {
        switch (f.Type) {
        case K::Int32: o[f.Name] = d.*f.Int; break;
        case K::Byte:
        case K::Installed: o[f.Name] = int(d.*f.Byte); break;
        case K::String: o[f.Name] = CpText(d.*f.Text); break;
        case K::DiscCount: o[f.Name] = d.DiscCount(); break;
        case K::List: {
            Json list = Json::array();
            for (int32_t v : InstallListOf(d, f.List))
                list.push_back(v);
            o[f.Name] = std::move(list);
            break;
        }
        }
    }
    return o;
}

TTarnInstallSet InstallSetFromJson(const Json& o)
{
    TTarnInstallSet d;
    FromJson(o, d, false, {});
    return d;
}

TTarnInstallSet InstallSetFromJsonText(std::string_view text, const std::string& shown)
{
    Json o;
    try {
        o = ParseJson(text);
    } catch (const JsonError& e) {
        throw ToolError(shown + ": " + e.what());
    }
    return InstallSetFromJson(o);
}

void ApplyInstallJson(const Json& o, TTarnInstallSet& d, const std::string& what) { FromJson(o, d, true, what); }

} // namespace tarn::tools
