#include <limits>

#include "base/codepage.h"
#include "base/format.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "wizard/page_rules.h"

using namespace tarn;
using tarn::test::S;

namespace {

TTarnInstallSet Set(int discIndex, int discCount)
{
    TTarnInstallSet set;
    set.SetDiscCount(discCount);
    set.DiscIndex = discIndex;
    set.MediaName = "CD-ROM";
    return set;
}

TEST(PageRules, DiscChoiceOnlyOnTheFirstDiscOfSeveral)
{
    EXPECT_EQ(PageShown(pgMedia, Set(0, 2)), pgMedia);
    EXPECT_EQ(PageShown(pgMedia, Set(1, 2)), pgFile); // started from disc 2
    EXPECT_EQ(PageShown(pgMedia, Set(0, 1)), pgFile); // a single disc
    for (int page : { pgInst, pgFile, pgCopy, pgUninst, pgExitDel })
        EXPECT_EQ(PageShown(page, Set(1, 2)), page);
}

TEST(PageRules, NextAndBack)
{
    // Install path, uninstall path, and the ways back to the first page.
    EXPECT_EQ(NextPageFrom(pgInst, false), pgMedia);
    EXPECT_EQ(NextPageFrom(pgInst, true), pgUninst);
    for (int page = pgMedia; page <= pgConfirm; ++page)
        EXPECT_EQ(NextPageFrom(page, true), page + 1);
    EXPECT_EQ(NextPageFrom(pgCopy, false), -1); // closes with OK
    EXPECT_EQ(NextPageFrom(pgUninst, true), pgDelete);
    EXPECT_EQ(BackPageFrom(pgUninst, true, false), pgInst);
    EXPECT_EQ(BackPageFrom(pgUninst, false, false), pgExit); // only with uninstall chosen does 7 lead to 0
    EXPECT_EQ(BackPageFrom(pgFile, false, false), pgInst);   // this disc only
    EXPECT_EQ(BackPageFrom(pgFile, false, true), pgMedia);   // all discs
    EXPECT_EQ(BackPageFrom(pgMedia, false, true), pgInst);
    EXPECT_EQ(BackPageFrom(pgConfirm, true, true), pgSelDir);
}

TEST(PageRules, ButtonsOfEachPage)
{
    for (int page = 0; page < kWizardPageCount; ++page) {
        PageButtons b = ButtonsFor(page);
        EXPECT_EQ(b.BackEnabled, page > 0) << page;
        EXPECT_EQ(b.NextEnabled, page < 9) << page;
        EXPECT_EQ(b.AbortCloses, page == pgExit) << page;
        const char8_t* next = page == pgConfirm ? u8"インストール" : page == pgUninst ? u8"実行" : u8"次へ(&N) >";
        EXPECT_EQ(b.NextCaption, S(next)) << page;
    }
    EXPECT_EQ(PageCaption(pgMedia, Set(0, 2)), S(u8"インストールするCD-ROM"));
    EXPECT_EQ(PageCaption(pgSelDir, Set(0, 2)), S(u8"インストール先の選択"));
    EXPECT_EQ(PageCaption(pgExitDel, Set(0, 2)), "");
}

TEST(PageRules, NeededSizeIsSummedIn64Bits)
{
    TTarnInstallSet set = Set(1, 2);
    set.ProgramTotal = 1000;
    set.DataTotal = std::numeric_limits<int32_t>::max();
    set.SoundTotal = std::numeric_limits<int32_t>::max();
    set.MovieTotal = 7;
    set.ProgramSizes()[1] = 10;
    set.DataSizes()[1] = 20;
    set.SoundSizes()[1] = 40;
    set.MovieSizes()[1] = 80;
    // All discs: the totals; a 32-bit sum would be negative here.
    EXPECT_EQ(ComputeNeededSize(set, true, true, true, true), 1000 + 2 * int64_t(std::numeric_limits<int32_t>::max()) + 7);
    EXPECT_EQ(ComputeNeededSize(set, true, false, false, false), 1000);
    // This disc: the entries at DiscIndex.
    EXPECT_EQ(ComputeNeededSize(set, false, true, false, true), 10 + 20 + 80);
    EXPECT_EQ(ComponentSize(set, false, 2), 40);
    EXPECT_EQ(ComponentSize(set, true, 3), 7);
}

TEST(PageRules, SizeTexts)
{
    EXPECT_EQ(NeededSizeText(0), S(u8"最低 0.00 MBのディスクの空き容量が必要です"));
    EXPECT_EQ(NeededSizeOnDriveText(0), S(u8"インストールには最低 0.00 MBのディスクの空き容量が必要です"));
    EXPECT_EQ(NeededSizeText(13107200), S(u8"最低 12.50 MBのディスクの空き容量が必要です"));
    EXPECT_EQ(NeededSizeText(int64_t(3) << 31), S(u8"最低 6144.00 MBのディスクの空き容量が必要です"));
    EXPECT_EQ(DriveSpaceText(999), S(u8"このドライブには 999 MBの空きがあります"));
    EXPECT_EQ(DriveSpaceText(1000), S(u8"このドライブには 1,000 MBの空きがあります"));
    EXPECT_EQ(DriveSpaceText(1234567), S(u8"このドライブには 1,234,567 MBの空きがあります"));
    // The user's decimal separator.
    SetDecimalSeparator(',');
    EXPECT_EQ(NeededSizeText(13107200), S(u8"最低 12,50 MBのディスクの空き容量が必要です"));
    SetDecimalSeparator('.');
}

TEST(PageRules, DriveFreeSpace)
{
    // The home drive has room; a drive that does not exist shows 0.
    EXPECT_GT(GetDriveFreeMB('C'), 0);
    std::string letters = platform::DriveLetters();
    for (char c = 'A'; c <= 'Z'; ++c)
        if (letters.find(c) == std::string::npos) {
            EXPECT_EQ(GetDriveFreeMB(c), 0) << c;
            break;
        }
}

} // namespace
