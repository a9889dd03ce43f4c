#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "wizard/destination.h"
#include "wizard/manifest.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

TEST(Destination, ProgramFilesMarker)
{
    // With or without the backslashes around the rest, and whether or not the
    // folder ends with one: the same directory, no trailing backslash.
    for (const char* pf : { "Q:\\Program Files", "Q:\\Program Files\\" })
        for (const char* dir : { "<ProgramFiles>\\Studio\\Game\\", "<ProgramFiles>Studio\\Game", "<ProgramFiles>\\Studio\\Game" }) {
            ProposedDestination d = ProposeDestination("", dir, AnsiString(pf), "Q:\\WINDOWS");
            EXPECT_EQ(d.Path, "Q:\\Program Files\\Studio\\Game") << pf << " " << dir;
            EXPECT_EQ(d.DirSuffix, "Studio\\Game");
        }
    // Only one backslash goes at each end.
    EXPECT_EQ(ProposeDestination("", "<ProgramFiles>\\\\Game\\\\", AnsiString("Q:\\PF"), "").DirSuffix, "\\Game\\");
    // The 0x5C that ends ソ is part of the character, not a trailing backslash.
    ProposedDestination so = ProposeDestination("", S(u8"<ProgramFiles>\\ソ"), AnsiString("Q:\\PF"), "");
    EXPECT_EQ(so.Path, S(u8"Q:\\PF\\ソ"));
    EXPECT_EQ(so.DirSuffix, S(u8"ソ"));
}

TEST(Destination, OtherwiseTheWindowsDrive)
{
    ProposedDestination d = ProposeDestination("", "\\Games\\Title", AnsiString("Q:\\PF"), "Q:\\WINDOWS");
    EXPECT_EQ(d.Path, "Q:\\Games\\Title");
    EXPECT_EQ(d.DirSuffix, "Games\\Title");
    EXPECT_EQ(ProposeDestination("", "Games\\", AnsiString("Q:\\PF"), "Q:\\WINDOWS").Path, "Q:\\Games");
    // The marker must be at the very start.
    EXPECT_EQ(ProposeDestination("", "\\<ProgramFiles>\\X", AnsiString("Q:\\PF"), "Q:\\W").Path, "Q:\\<ProgramFiles>\\X");
    // Without a Program Files folder the Windows drive's root stands in.
    ProposedDestination none = ProposeDestination("", "<ProgramFiles>\\Studio\\Game", std::nullopt, "Q:\\WINDOWS");
    EXPECT_EQ(none.Path, "Q:\\Studio\\Game");
    EXPECT_EQ(none.DirSuffix, "Studio\\Game");
}

TEST(Destination, RegistryValueAndExistingDirectories)
{
    TempDir dir;
    // A recorded directory that exists wins, without its backslash and without a suffix.
    ProposedDestination d = ProposeDestination(dir.Path(), "<ProgramFiles>\\Studio\\Game", AnsiString("Q:\\PF"), "Q:\\W");
    EXPECT_EQ(d.Path, ExcludeTrailingBackslash(dir.Path()));
    EXPECT_EQ(d.DirSuffix, "");
    // One that does not exist counts as none.
    EXPECT_EQ(ProposeDestination(dir / "gone", "\\G", AnsiString("Q:\\PF"), "Q:\\W").Path, "Q:\\G");
    // A proposal that exists already is browsed for itself.
    platform::ForceDirectories(dir / "Studio\\Game");
    ProposedDestination existing = ProposeDestination("", "<ProgramFiles>Studio\\Game", ExcludeTrailingBackslash(dir.Path()), "Q:\\W");
    EXPECT_EQ(existing.Path, dir / "Studio\\Game");
    EXPECT_EQ(existing.DirSuffix, "");
}

TEST(Destination, NearestAncestorAndBrowsing)
{
    TempDir dir;
    platform::ForceDirectories(dir / "a");
    EXPECT_EQ(NearestExistingAncestor(dir / "a\\b\\c\\d"), dir / "a\\");
    EXPECT_EQ(NearestExistingAncestor(dir / "a"), dir / "a");
    EXPECT_EQ(NearestExistingAncestor("nothing-here\\x"), "");
    EXPECT_EQ(DestinationForBrowsed("C:\\X", "Studio\\Game"), "C:\\X\\Studio\\Game");
    EXPECT_EQ(DestinationForBrowsed("C:\\", "Studio"), "C:\\Studio");
    EXPECT_EQ(DestinationForBrowsed("C:\\X", ""), "C:\\X");
}

TEST(Destination, SystemFolders)
{
#ifndef _WIN32
    EXPECT_EQ(ProposeDestination("", "<ProgramFiles>Studio").Path, "C:\\Games\\Studio");
    EXPECT_EQ(ProposeDestination("", "Studio").Path, "C:\\Studio");
#else
    AnsiString win = platform::WindowsDirectory();
    EXPECT_EQ(ProposeDestination("", "\\Studio\\").Path, AnsiString(1, win[0]) + ":\\Studio");
#endif
}

// A folder with other files in it is this game's when the record of an
// installation there names the game; the record is read only that far.
TEST(Destination, AFolderWithARecordOfThisGameIsItsOwn)
{
    TempDir dir;
    const AnsiString d = AddBackslash(dir.Path());
    test::WriteFile(d + "readme.txt", "a file of the game's");
    EXPECT_EQ(CheckDestination(d, S(u8"夏の庭")), DestinationCheck::NotEmpty);

    TInstallManifest record;
    record.Destination = d;
    record.Title = S(u8"夏の庭");
    record.RegistryKey = "Studio\\Summer";
    for (int i = 0; i < 50; ++i)
        record.Files.push_back({ "text\\t" + std::to_string(i) + ".txt", i, std::string(64, 'a'), 1 });
    record.ArchiveEntries.push_back({ S(u8"台本.txt"), std::string(64, 'b') });
    record.Save();
    EXPECT_EQ(TInstallManifest::TitleOf(d), S(u8"夏の庭"));
    EXPECT_EQ(TInstallManifest::TitleOf(ExcludeTrailingBackslash(d)), S(u8"夏の庭"));
    EXPECT_EQ(CheckDestination(d, S(u8"夏の庭")), DestinationCheck::Fine);
    EXPECT_EQ(CheckDestination(d, S(u8"冬の庭")), DestinationCheck::NotEmpty);

    // A record that does not read to its end, or is of another folder, is none.
    const std::string text = test::ReadFile(TInstallManifest::FileFor(d));
    test::WriteFile(TInstallManifest::FileFor(d), text.substr(0, text.size() - 3));
    EXPECT_FALSE(TInstallManifest::TitleOf(d));
    EXPECT_EQ(CheckDestination(d, S(u8"夏の庭")), DestinationCheck::NotEmpty);
    record.Destination = AddBackslash(dir / "elsewhere");
    test::WriteFile(TInstallManifest::FileFor(d), record.ToJson());
    EXPECT_FALSE(TInstallManifest::TitleOf(d));
    TInstallManifest::Remove(d);
    EXPECT_FALSE(TInstallManifest::TitleOf(d));
}

} // namespace
