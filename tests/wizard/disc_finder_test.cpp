#include "wizard/disc_finder.h"
#include "wizard_fixture.h"

using namespace tarn;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// The places where media are mounted are this test's own.
class DiscFinding : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        saved = platform::GetEnv("TARN_MEDIA_DIRS");
        std::string host;
        platform::HostPath(ExcludeTrailingBackslash(media.Path()), host);
        ::setenv("TARN_MEDIA_DIRS", host.c_str(), 1);
#endif
    }
    void TearDown() override
    {
#ifndef _WIN32
        ::setenv("TARN_MEDIA_DIRS", saved.c_str(), 1);
#endif
    }
    TempDir media;
    std::string saved;
};

TEST_F(DiscFinding, PlacesInOrder)
{
    DiscSet set(S(u8"探す"), { DiscContent{}, DiscContent{}, DiscContent{} });
    TempDir given;
    DiscFinder finder(set.Disc(0), { { 2, given.Path() } }, set.Description(0));
    StringList places = finder.Candidates(1);
    // The source directory, the path given for that disc, the folders beside the source (by name).
    ASSERT_GE(places.size(), 4u);
    EXPECT_EQ(places[0], set.Disc(0));
    EXPECT_EQ(places[1], given.Path());
    EXPECT_EQ(places[2], set.Disc(1));
    EXPECT_EQ(places[3], set.Disc(2));
    // A path given for another disc is not looked at for this one.
    StringList third = finder.Candidates(2);
    EXPECT_EQ(std::find(third.begin(), third.end(), given.Path()), third.end());
#ifndef _WIN32
    // Mounted media come last.
    platform::ForceDirectories(media / "DISC_2");
    StringList withMedia = DiscFinder(set.Disc(0), {}, set.Description(0)).Candidates(1);
    EXPECT_EQ(withMedia.back(), media / "DISC_2\\");
#endif
}

TEST_F(DiscFinding, OnlyTheRightDiscOfTheSameSetCounts)
{
    DiscSet set(S(u8"正しいディスク"), { DiscContent{}, DiscContent{} });
    DiscSet other(S(u8"違うゲーム"), { DiscContent{}, DiscContent{} });
    TTarnInstallSet started = set.Description(0);
    DiscFinder finder(set.Disc(0), { { 2, other.Disc(1) } }, started);
    // The other game's disc 2 is given first but does not count; the one beside does.
    std::optional<DiscFinder::Found> found = finder.Find(1);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Dir, set.Disc(1));
    EXPECT_EQ(found->Description.DiscIndex, 1);
    EXPECT_FALSE(finder.Holds(other.Disc(1), 1));
    // Same title but another registry key, an installation, a damaged description: none count.
    TTarnInstallSet copy = set.Description(1);
    copy.RegistryKey = "Elsewhere";
    copy.SaveToFile(set.Disc(1) + "install.dat");
    EXPECT_FALSE(finder.Holds(set.Disc(1), 1));
    copy = set.Description(1);
    copy.Installed = 1;
    copy.SaveToFile(set.Disc(1) + "install.dat");
    EXPECT_FALSE(finder.Holds(set.Disc(1), 1));
    test::WriteFile(set.Disc(1) + "install.dat", std::string("\x01\x00\x00", 3));
    EXPECT_FALSE(finder.Holds(set.Disc(1), 1));
    EXPECT_FALSE(finder.Find(1));
    // The disc in the drive itself counts when it is the one asked for.
    EXPECT_EQ(finder.Find(0)->Dir, set.Disc(0));
#ifndef _WIN32
    // A medium mounted elsewhere is found too.
    platform::ForceDirectories(media / "DISC2");
    set.Description(1).SaveToFile(media / "DISC2\\install.dat");
    ASSERT_TRUE(finder.Find(1));
    EXPECT_EQ(finder.Find(1)->Dir, media / "DISC2\\");
#endif
}

} // namespace
