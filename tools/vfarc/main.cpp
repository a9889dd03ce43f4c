// Command line of vfarc: options, help, dispatch to the commands.
#include "vfarc.h"

#include "base/codepage.h"
#include "platform/platform.h"

#ifndef TARN_VERSION
#define TARN_VERSION "0"
#endif

namespace tarn::vfarc {

namespace {

const char kHelp[] = R"(Usage: vfarc COMMAND [OPTIONS] ARGUMENTS

Lists, reads, extracts, creates, merges and verifies VF archives (game.dat,
continued in game.001, game.002, ...).

Commands:
  list ARCHIVE [--json]        entries in directory order: offset, size,
                               stored flag, name (offsets are stream positions)
  cat ARCHIVE NAME             an entry's content on standard output, as the
  cat ARCHIVE --hex-name HEX   game loads it (a loose file beside the archive
                               wins); --hex-name gives the name's exact bytes
  extract ARCHIVE [-o DIR] [NAME...]
                               write the archive's entries (all, or those
                               named) below DIR (default: the current one);
                               unsafe names are skipped with a warning
  create ARCHIVE [--version 0|100|101] [--store GLOB]... [--level 0-9] INPUT...
                               a new archive from files and directories
                               (directory trees in CP932 name order); entries
                               matching a --store glob (* and ?, letters in
                               any case) are stored uncompressed (version 101)
  merge TARGET SOURCE [--version 100|101]
                               add SOURCE's entries that TARGET lacks; TARGET
                               may not exist yet
  verify ARCHIVE [--json]      describe every fault of a damaged archive

Options of every command:
  --appended        the archive lies at the end of a program, its start in
                    the last 4 bytes (merge: the source; create: appends the
                    archive to the existing file ARCHIVE)
  --piece-size N    pieces of N bytes instead of 2^30, for every archive read
                    or written
  --help            this text
  --version         the program's version (create and merge: the archive
                    version, with a value)

Exit status: 0 success, 1 bad input or failed operation, 2 wrong usage.
)";

bool TakesVersionValue(const std::string& command) { return command == "create" || command == "merge"; }

int64_t OptionNumber(const std::string& value, const std::string& what, int64_t min, int64_t max)
{
    try {
        return tools::ParseInteger(value, what, min, max);
    } catch (const tools::ToolError& e) {
        throw tools::UsageError(e.what());
    }
}

Options Parse(std::vector<std::string>& argv, bool& done)
{
    Options o;
    done = false;
    bool optionsEnd = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        std::string a = argv[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            if (o.command.empty())
                o.command = a;
            else
                o.args.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            inlineValue = true;
        }
        auto next = [&]() -> std::string {
            if (inlineValue)
                return value;
            if (i + 1 >= argv.size())
                throw tools::UsageError("option " + a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            tools::Out(kHelp);
            done = true;
            return o;
        }
        if (a == "--version" && !(TakesVersionValue(o.command))) {
            tools::Out(std::string("vfarc ") + TARN_VERSION + "\n");
            done = true;
            return o;
        }
        if (a == "--version") {
            o.hasVersion = true;
            o.version = static_cast<int32_t>(OptionNumber(next(), "--version", 0, kVrFlagsVersion));
        } else if (a == "--appended") {
            o.appended = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--piece-size") {
            o.pieceSize = OptionNumber(next(), "--piece-size", 1, TTpBigFileStream::DefaultPieceSize);
        } else if (a == "-o" || a == "--output") {
            o.hasOutput = true;
            o.output = next();
        } else if (a == "--store") {
            o.store.push_back(next());
        } else if (a == "--level") {
            o.hasLevel = true;
            o.level = static_cast<int>(OptionNumber(next(), "--level", 0, 9));
        } else if (a == "--hex-name") {
            o.hasHexName = true;
            o.hexName = next();
        } else {
            throw tools::UsageError("unknown option " + a);
        }
    }
    return o;
}

// Which options each command accepts, and how many positional arguments.
void CheckUsage(const Options& o)
{
    const std::string& c = o.command;
    auto refuse = [&](bool bad, const std::string& what) {
        if (bad)
            throw tools::UsageError(what + " is not an option of " + c);
    };
    refuse(o.json && c != "list" && c != "verify", "--json");
    refuse(o.hasOutput && c != "extract", "-o");
    refuse(!o.store.empty() && c != "create", "--store");
    refuse(o.hasLevel && c != "create", "--level");
    refuse(o.hasHexName && c != "cat", "--hex-name");
    size_t n = o.args.size();
    if (c == "list" || c == "verify") {
        if (n != 1)
            throw tools::UsageError(c + " takes one archive");
    } else if (c == "cat") {
        if (n != (o.hasHexName ? 1u : 2u))
            throw tools::UsageError("cat takes an archive and one name (or --hex-name HEX)");
    } else if (c == "extract") {
        if (n < 1)
            throw tools::UsageError("extract takes an archive");
    } else if (c == "create") {
        if (n < 2)
            throw tools::UsageError("create takes an archive and at least one input");
        if (o.version != 0 && o.version != 100 && o.version != 101)
            throw tools::UsageError("--version must be 0, 100 or 101");
        if (!o.store.empty() && o.version < kVrFlagsVersion)
            throw tools::UsageError("--store needs version 101: versions 0 and 100 cannot store entries");
    } else if (c == "merge") {
        if (n != 2)
            throw tools::UsageError("merge takes a target and a source");
        if (o.version != 100 && o.version != 101)
            throw tools::UsageError("merge writes version 100 or 101");
    } else if (c.empty()) {
        throw tools::UsageError("no command");
    } else {
        throw tools::UsageError("unknown command " + c);
    }
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
        bool done;
        vfarc::Options o = vfarc::Parse(args, done);
        if (done)
            return 0;
        vfarc::CheckUsage(o);
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
