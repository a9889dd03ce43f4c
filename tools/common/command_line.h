// The tools' command lines, read by CLI11 with the habits every tool shares:
// --help and --version, "--name=value" and "--name value", the last of a
// repeated option wins, and every mistake is wrong usage (exit status 2).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/tool.h"

namespace tarn::tools {

// The last lines of every tool's --help.
extern const char kExitStatusHelp[];

// Gives app the tools' habits; subcommands added afterwards inherit them.
// synopsis: the forms of the command --help starts with, one line each
// ("instdat show FILE [--json]", ...); a line starting with a blank goes on
// with the form before it;
// version: what --version prints, or empty when the tool gives --version a
// meaning of its own.
void SetUpCommandLine(CLI::App& app, const std::vector<std::string>& synopsis, const std::string& version);

// Reads args (UTF-8, without the program name) into app. False when --help or
// --version has been answered: the tool is done (exit 0). Wrong usage raises
// UsageError.
bool ParseCommandLine(CLI::App& app, const std::vector<std::string>& args);

// The option's long name ("--seed" of "-s,--seed"), for messages.
std::string OptionName(const std::string& names);

// An option whose text goes through parse(text); a ToolError of parse is
// wrong usage, with parse's message.
template <typename Parse>
CLI::Option* AddParsedOption(CLI::App& app, const std::string& names, const std::string& valueName, Parse parse,
                             const std::string& help)
{
    CLI::Option* option = app.add_option_function<std::string>(
        names,
        [parse](const std::string& text) {
            try {
                parse(text);
            } catch (const ToolError& e) {
                throw UsageError(e.what());
            }
        },
        help);
    return option->type_name(valueName);
}

// An integer option in min..max, in ParseInteger's forms.
template <typename T>
CLI::Option* AddIntegerOption(CLI::App& app, const std::string& names, T& target, int64_t min, int64_t max,
                              const std::string& valueName, const std::string& help)
{
    return AddParsedOption(
        app, names, valueName,
        [&target, what = OptionName(names), min, max](const std::string& text) {
            target = static_cast<T>(ParseInteger(text, what, min, max));
        },
        help);
}

// A positional argument; named by what it stands for, without a type.
template <typename T>
CLI::Option* AddPositional(CLI::App& app, const std::string& name, T& target, const std::string& help)
{
    return app.add_option(name, target, help)->type_name("");
}

} // namespace tarn::tools
