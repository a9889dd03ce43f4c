// Command line of vfarc: options, help, dispatch to the commands.
#include "vfarc.h"

#include "base/codepage.h"
#include "common/command_line.h"
#include "platform/platform.h"

#ifndef TARN_VERSION
#define TARN_VERSION "0"
#endif

namespace tarn::vfarc {

namespace {

// Every command takes these; before the command as well as after it.
void AddArchiveOptions(CLI::App& app, Options& o)
{
    app.add_flag("--appended", o.appended,
                 "the archive lies at the end of a program, its\n"
                 "start in the last 4 bytes (merge: the source;\n"
                 "create: appends the archive to the existing\n"
                 "file ARCHIVE)");
    tools::AddIntegerOption(app, "--piece-size", o.pieceSize, 1, TTpBigFileStream::DefaultPieceSize, "N",
                            "pieces of N bytes instead of 2^30, for every\n"
                            "archive read or written");
}

// The command line as the commands take it: CLI11 has checked the options
// and the number of arguments; what is left are the rules between them.
void CheckUsage(const Options& o)
{
    const std::string& c = o.command;
    if (c == "cat" && o.args.size() != (o.hasHexName ? 1u : 2u))
        throw tools::UsageError("cat takes an archive and one name (or --hex-name HEX)");
    if (c == "create") {
        if (o.version != 0 && o.version != 100 && o.version != 101)
            throw tools::UsageError("--version must be 0, 100 or 101");
        if (!o.store.empty() && o.version < kVrFlagsVersion)
            throw tools::UsageError("--store needs version 101: versions 0 and 100 cannot store entries");
    }
    if (c == "merge" && o.version != 100 && o.version != 101)
        throw tools::UsageError("merge writes version 100 or 101");
}

// Reads the command line into o; false when --help or --version has been answered.
bool Parse(const std::vector<std::string>& args, Options& o)
{
    CLI::App app("Lists, reads, extracts, creates, merges and verifies VF archives (game.dat,\n"
                 "continued in game.001, game.002, ...). Every command also takes --appended\n"
                 "and --piece-size N.",
                 "vfarc");
    tools::SetUpCommandLine(app,
                            { "vfarc list ARCHIVE [--json]", "vfarc cat ARCHIVE NAME", "vfarc cat ARCHIVE --hex-name HEX",
                              "vfarc extract ARCHIVE [-o DIR] [NAME...]",
                              "vfarc create ARCHIVE [--version 0|100|101] [--store GLOB]...",
                              "             [--level 0-9] INPUT...",
                              "vfarc merge TARGET SOURCE [--version 100|101]", "vfarc verify ARCHIVE [--json]" },
                            std::string("vfarc ") + TARN_VERSION);
    AddArchiveOptions(app, o);
    std::string archive, second;
    std::vector<std::string> more;
    auto command = [&](const char* name, const char* what) {
        CLI::App* sub = app.add_subcommand(name, what);
        // Options of every command may follow it too.
        AddArchiveOptions(*sub, o);
        return sub;
    };

    CLI::App* list = command("list", "entries in directory order: offset, size,\n"
                                     "stored flag, name (offsets are stream positions)");
    tools::AddPositional(*list, "ARCHIVE", archive, "the archive (or a folder of loose files)")->required();
    list->add_flag("--json", o.json, "a JSON array of {name, offset, size, stored}");

    CLI::App* cat = command("cat", "an entry's content on standard output, as the\n"
                                   "game loads it (a loose file beside the archive\n"
                                   "wins)");
    tools::AddPositional(*cat, "ARCHIVE", archive, "the archive")->required();
    CLI::Option* catName = tools::AddPositional(*cat, "NAME", second, "the entry's name");
    CLI::Option* hexName = cat->add_option("--hex-name", o.hexName, "the entry's name as the hex digits of its bytes")->type_name("HEX");

    CLI::App* extract = command("extract", "write the archive's entries (all, or those named)\n"
                                           "below DIR; unsafe names are skipped with a warning");
    tools::AddPositional(*extract, "ARCHIVE", archive, "the archive")->required();
    tools::AddPositional(*extract, "NAME", more, "the entries to write (default: all)");
    CLI::Option* output = extract->add_option("-o,--output", o.output, "where to (default: the current directory)")->type_name("DIR");

    CLI::App* create = command("create", "a new archive from files and directories\n"
                                         "(directory trees in CP932 name order)");
    tools::AddPositional(*create, "ARCHIVE", archive, "the archive to write")->required();
    tools::AddPositional(*create, "INPUT", more, "files, and directories whose trees go in")->required();
    tools::AddIntegerOption(*create, "--version", o.version, 0, kVrFlagsVersion, "V", "the archive version: 0, 100 or 101 (default 101)");
    create->add_option("--store", o.store,
                       "entries matching the glob (* and ?, letters in\n"
                       "any case) are stored uncompressed (version 101)")
        ->type_name("GLOB")
        ->allow_extra_args(false);
    tools::AddIntegerOption(*create, "--level", o.level, 0, 9, "0-9", "the compression level (default 6)");

    CLI::App* merge = command("merge", "add SOURCE's entries that TARGET lacks; TARGET\n"
                                       "may not exist yet");
    tools::AddPositional(*merge, "TARGET", archive, "the archive to add to")->required();
    CLI::Option* mergeSource = tools::AddPositional(*merge, "SOURCE", second, "the archive to take entries from")->required();
    tools::AddIntegerOption(*merge, "--version", o.version, 0, kVrFlagsVersion, "V", "the version written: 100 or 101 (default 101)");

    CLI::App* verify = command("verify", "describe every fault of a damaged archive");
    tools::AddPositional(*verify, "ARCHIVE", archive, "the archive")->required();
    verify->add_flag("--json", o.json, "a JSON object {entries, version, problems}");

    if (!tools::ParseCommandLine(app, args))
        return false;
    std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty())
        throw tools::UsageError("no command");
    o.command = chosen.front()->get_name();
    o.args = { archive };
    if (catName->count() > 0 || mergeSource->count() > 0)
        o.args.push_back(second);
    o.args.insert(o.args.end(), more.begin(), more.end());
    o.hasHexName = hexName->count() > 0;
    o.hasOutput = output->count() > 0;
    CheckUsage(o);
    return true;
}

} // namespace

void OpenForReading(TVrFileCollection& c, const Options& o, const std::string& hostPath, bool strict)
{
    AnsiString path = tools::PathArg(hostPath);
    bool file = platform::FileExists(path);
    if (!file && !platform::DirectoryExists(path))
        throw tools::ToolError(hostPath + ": no such file or directory");
    if (o.appended && !file)
        throw tools::ToolError(hostPath + ": --appended needs a file");
    c.PieceSize = o.pieceSize;
    c.Appended = o.appended;
    c.StrictDirectory = strict;
    c.Open(path);
}

AnsiString EntryName(const std::string& utf8)
{
    AnsiString name;
    if (!TryUtf8ToCp932(utf8, name))
        throw tools::ToolError("'" + utf8 + "' holds characters that CP932 cannot hold (use --hex-name)");
    return name;
}

} // namespace tarn::vfarc

int main(int argc, char** argv)
{
    using namespace tarn;
    return tools::RunTool("vfarc", argc, argv, [](std::vector<std::string>& args) {
        vfarc::Options o;
        if (!vfarc::Parse(args, o))
            return 0;
        if (o.command == "list")
            return vfarc::List(o);
        if (o.command == "cat")
            return vfarc::Cat(o);
        if (o.command == "extract")
            return vfarc::Extract(o);
        if (o.command == "create")
            return vfarc::Create(o);
        if (o.command == "merge")
            return vfarc::Merge(o);
        return vfarc::Verify(o);
    });
}
