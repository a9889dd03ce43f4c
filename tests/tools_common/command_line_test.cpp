// The tools' --help in the layout the manual pages are made from: each form
// of a command on one line after "Usage: " or "  or:  ".
#include "common/command_line.h"
#include "support/test_support.h"

using namespace tarn::tools;

namespace {

TEST(ToolCommandLine, HelpPutsEachFormOnALineOfItsOwn)
{
    CLI::App app("Does things.", "t");
    SetUpCommandLine(app,
                     { "t show FILE [--json]", "t make OUT [--level N]", "         [--store GLOB]...", "t check FILE" },
                     "t 1.2.3");
    const std::string help = app.help();
    EXPECT_EQ(help.substr(0, help.find("\n\n")), "Usage: t show FILE [--json]\n"
                                                 "  or:  t make OUT [--level N] [--store GLOB]...\n"
                                                 "  or:  t check FILE")
        << help;
    EXPECT_NE(help.find("Does things."), std::string::npos) << help;
    EXPECT_NE(help.find(kExitStatusHelp), std::string::npos) << help;

    // A blank line in the list, or blanks alone, start no form.
    CLI::App other("x", "u");
    SetUpCommandLine(other, { "u A", "", "   ", "u B" }, "u 1");
    const std::string otherHelp = other.help();
    EXPECT_EQ(otherHelp.substr(0, otherHelp.find("\n\n")), "Usage: u A\n  or:  u B") << otherHelp;
}

} // namespace
