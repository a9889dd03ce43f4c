#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;

namespace {

TEST(DefaultDir, MarkerGivesTheProgramFilesFolder)
{
    // With or without the backslashes around the rest, and whether or not the
    // folder ends with one: the same directory, no trailing backslash.
    for (const char* pf : { "C:\\Program Files", "C:\\Program Files\\" })
        for (const char* dir : { "<ProgramFiles>\\Studio\\Game\\", "<ProgramFiles>Studio\\Game", "<ProgramFiles>\\Studio\\Game",
                                 "<ProgramFiles>Studio\\Game\\" })
            EXPECT_EQ(ExpandDefaultDir(dir, pf, "D:\\WINDOWS"), "C:\\Program Files\\Studio\\Game") << pf << " " << dir;
    // Only one backslash goes at each end.
    EXPECT_EQ(ExpandDefaultDir("<ProgramFiles>\\\\Game\\\\", "E:\\PF", "C:\\WINDOWS"), "E:\\PF\\\\Game\\");
    // The 0x5C that ends ソ is part of the character, not a trailing backslash.
    EXPECT_EQ(ExpandDefaultDir(S(u8"<ProgramFiles>\\ソ"), "E:\\PF", ""), S(u8"E:\\PF\\ソ"));
}

TEST(DefaultDir, OtherwiseTheWindowsDrive)
{
    EXPECT_EQ(ExpandDefaultDir("\\Games\\Studio\\", "C:\\Program Files", "D:\\WINDOWS"), "D:\\Games\\Studio");
    EXPECT_EQ(ExpandDefaultDir("Games", "C:\\Program Files", "D:\\WINDOWS"), "D:\\Games");
    EXPECT_EQ(ExpandDefaultDir("", "C:\\Program Files", "D:\\WINDOWS"), "D:\\");
    // The marker must be at the very start.
    EXPECT_EQ(ExpandDefaultDir("\\<ProgramFiles>\\X", "C:\\Program Files", "D:\\WINDOWS"), "D:\\<ProgramFiles>\\X");
}

TEST(DefaultDir, TakesTheFoldersFromTheSystem)
{
    AnsiString pf = GetSpecialFolder(CSIDL_PROGRAM_FILES_FOLDER);
    EXPECT_EQ(DefaultInstallDirectory("<ProgramFiles>\\Studio\\Game\\"), ExcludeTrailingBackslash(pf) + "\\Studio\\Game");
    AnsiString win = platform::WindowsDirectory();
    ASSERT_FALSE(win.empty());
    EXPECT_EQ(DefaultInstallDirectory("\\Studio\\"), AnsiString(1, win[0]) + ":\\Studio");
#ifndef _WIN32
    EXPECT_EQ(DefaultInstallDirectory("<ProgramFiles>Studio"), "C:\\Games\\Studio");
    EXPECT_EQ(DefaultInstallDirectory("Studio"), "C:\\Studio");
#endif
}

} // namespace
