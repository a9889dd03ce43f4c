// The component list of unattended installs.
#include "support/test_support.h"
#include "wizard/unattended.h"

using namespace tarn;

namespace {

using Chosen = std::array<bool, 3>; // data, sound, movie

TEST(UnattendedComponents, ListsInAnyOrderAllAndNone)
{
    EXPECT_EQ(ParseComponents("all"), (Chosen{ true, true, true }));
    EXPECT_EQ(ParseComponents("none"), (Chosen{ false, false, false }));
    EXPECT_EQ(ParseComponents("data"), (Chosen{ true, false, false }));
    EXPECT_EQ(ParseComponents("movie,data"), (Chosen{ true, false, true }));
    EXPECT_EQ(ParseComponents("sound,sound"), (Chosen{ false, true, false }));
    EXPECT_EQ(ParseComponents("data,sound,movie"), (Chosen{ true, true, true }));
    // Anything else is refused rather than guessed.
    for (const char* wrong : { "", "Data", "data,", ",data", "data,,sound", "data sound", "all,data", "program", "none,movie" })
        EXPECT_FALSE(ParseComponents(wrong).has_value()) << wrong;
}

} // namespace
