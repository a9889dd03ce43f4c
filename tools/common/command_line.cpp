#include "common/command_line.h"

#include <memory>

namespace tarn::tools {

namespace {

// CLI11's help with the tool's own synopsis on top: the generated usage line
// cannot say which options go with which form of a command.
class ToolFormatter : public CLI::Formatter {
public:
    explicit ToolFormatter(std::vector<std::string> synopsis) : synopsis_(std::move(synopsis)) { }

    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override
    {
        if (mode == CLI::AppFormatMode::Sub)
            return CLI::Formatter::make_help(app, std::move(name), mode);
        std::string out = make_usage(app, std::move(name));
        if (std::string description = make_description(app); !description.empty())
            out += "\n" + description;
        return out + make_positionals(app) + make_groups(app, mode) + make_subcommands(app, mode) + "\n" + make_footer(app);
    }

    // One line per form of the command, in the layout manual-page makers
    // read: "Usage: " before the first, "  or:  " before each other.
    std::string make_usage(const CLI::App* app, std::string name) const override
    {
        if (app->get_parent() || synopsis_.empty())
            return CLI::Formatter::make_usage(app, std::move(name));
        std::vector<std::string> forms;
        for (const std::string& line : synopsis_) {
            size_t text = line.find_first_not_of(' ');
            if (text == std::string::npos)
                continue;
            if (text > 0 && !forms.empty())
                forms.back() += " " + line.substr(text);
            else
                forms.push_back(line.substr(text));
        }
        std::string out;
        for (size_t i = 0; i < forms.size(); ++i)
            out += (i ? "  or:  " : "Usage: ") + forms[i] + "\n";
        return out;
    }

private:
    std::vector<std::string> synopsis_;
};

// CLI11 lists every argument nobody took; the first one says enough.
std::string UnexpectedArgument(const CLI::App& app)
{
    std::vector<std::string> extras = app.remaining(true);
    std::string first = extras.empty() ? std::string() : extras.front();
    std::vector<CLI::App*> chosen = app.get_subcommands();
    std::string where = chosen.empty() ? std::string() : " for " + chosen.front()->get_name();
    if (first.size() > 1 && first[0] == '-')
        return "unknown option" + where + ": " + first.substr(0, first.find('='));
    if (chosen.empty() && !app.get_subcommands({}).empty())
        return "unknown command: " + first;
    return "unexpected argument" + where + ": " + first;
}

} // namespace

const char kExitStatusHelp[] = "Exit status: 0 success, 1 bad input or failed operation, 2 wrong usage.";

void SetUpCommandLine(CLI::App& app, const std::vector<std::string>& synopsis, const std::string& version)
{
    app.formatter(std::make_shared<ToolFormatter>(synopsis));
    app.set_help_flag("-h,--help", "this text");
    app.footer(kExitStatusHelp);
    if (!version.empty())
        app.set_version_flag("--version", version, "the program's version");
    // A path such as /tmp/x is an argument, also in the Windows build.
    app.allow_windows_style_options(false);
    // As before CLI11: an option given twice means its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // An option a command does not know may be the tool's (--version).
    app.fallthrough();
    // At most one command: a later argument that happens to be a command's
    // name (a file called "list") stays an argument.
    app.require_subcommand(0, 1);
}

bool ParseCommandLine(CLI::App& app, const std::vector<std::string>& args)
{
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them from the back
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        Out(app.help());
        return false;
    } catch (const CLI::CallForAllHelp&) {
        Out(app.help("", CLI::AppFormatMode::All));
        return false;
    } catch (const CLI::CallForVersion& e) {
        Out(std::string(e.what()) + "\n");
        return false;
    } catch (const CLI::ExtrasError&) {
        throw UsageError(UnexpectedArgument(app));
    } catch (const CLI::ParseError& e) {
        throw UsageError(e.what());
    }
    return true;
}

std::string OptionName(const std::string& names)
{
    size_t start = names.find("--");
    if (start == std::string::npos)
        start = names.rfind(',') == std::string::npos ? 0 : names.rfind(',') + 1;
    return names.substr(start, names.find(',', start) - start);
}

} // namespace tarn::tools
