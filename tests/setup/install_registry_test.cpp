#include <random>

#include "base/error.h"
#include "base/path.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using platform::RegistryKey;
using tarn::test::S;

namespace {

// Every test works below a studio key of its own directly under Software (the
// real registry under Wine is shared by the test programs), removed afterwards.
class InstallRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        studio_ = "TarnStudio" + std::to_string(std::random_device{}() % 100000000u);
        set_.RegistryKey = studio_ + "\\Game";
        set_.GameExe = "game.exe";
    }
    void TearDown() override { DeleteTree("Software\\" + studio_); }

    static void DeleteTree(const AnsiString& path)
    {
        {
            auto key = RegistryKey::Open(path, false);
            if (!key)
                return;
            for (const AnsiString& sub : key->SubKeyNames())
                DeleteTree(path + "\\" + sub);
        }
        if (auto parent = RegistryKey::Open(path.substr(0, path.rfind('\\')), false))
            parent->DeleteSubKey(path.substr(path.rfind('\\') + 1));
    }
    static bool Exists(const AnsiString& path) { return RegistryKey::Open(path, false) != nullptr; }
    static void Put(const AnsiString& path, const AnsiString& name, uint32_t type, std::string_view data)
    {
        auto key = RegistryKey::Open(path, true);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->WriteValue(name, type, data));
    }

    AnsiString studio_;
    TTarnInstallSet set_;
};

TEST_F(InstallRegistry, WritesAStringThatReadsBack)
{
    EXPECT_EQ(set_.ReadRegString("InstallPath", "none"), "none");
    EXPECT_FALSE(Exists("Software\\" + studio_)); // reading creates nothing

    AnsiString path = S(u8"C:\\ゲーム\\表示ソフト\\");
    set_.RegistryKey = "\\" + studio_ + "\\Game"; // one leading backslash is dropped
    set_.WriteRegString("InstallPath", path);
    uint32_t type = 0;
    std::string data;
    auto key = RegistryKey::Open("Software\\" + studio_ + "\\Game", false);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->ReadValue("InstallPath", type, data));
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(data, path + '\0');

    TTarnInstallSet other;
    other.RegistryKey = studio_ + "\\Game";
    EXPECT_EQ(other.ReadRegString("InstallPath", ""), path);
    set_.WriteRegString("InstallPath", "D:\\Games\\"); // replaces
    EXPECT_EQ(other.ReadRegString("InstallPath", ""), "D:\\Games\\");
}

TEST_F(InstallRegistry, ReadsStringValuesAsStoredAndRefusesOtherTypes)
{
    AnsiString game = "Software\\" + studio_ + "\\Game";
    Put(game, "Cut", platform::kRegSz, std::string("abc\0def\0", 8));
    Put(game, "Expand", platform::kRegExpandSz, std::string("%TEMP%\\x\0", 9));
    Put(game, "Empty", platform::kRegSz, std::string("", 0));
    Put(game, "Number", platform::kRegDword, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(set_.ReadRegString("Cut", "d"), "abc");
    EXPECT_EQ(set_.ReadRegString("Expand", "d"), "%TEMP%\\x"); // not expanded
    EXPECT_EQ(set_.ReadRegString("Empty", "d"), "");
    EXPECT_EQ(set_.ReadRegString("Missing", "d"), "d");
    try {
        set_.ReadRegString("Number", "");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), S(u8"'Number' のデータ型が不正です"));
    }
}

TEST_F(InstallRegistry, AnEmptyKeySwitchesTheRegistryOff)
{
    Put("Software\\" + studio_, "Keep", platform::kRegSz, std::string("1\0", 2));
    for (const char* key : { "", "\\" }) {
        set_.RegistryKey = key;
        AnsiString name = "TarnProbe" + studio_;
        set_.WriteRegString(name, "x");
        EXPECT_EQ(set_.ReadRegString(name, "default"), "default");
        auto software = RegistryKey::Open("Software", false);
        ASSERT_TRUE(software);
        uint32_t type;
        std::string data;
        EXPECT_FALSE(software->ReadValue(name, type, data)) << "written into Software itself";
        set_.DeleteRegistryKey();
        EXPECT_TRUE(Exists("Software\\" + studio_)); // nothing below Software is touched
        EXPECT_FALSE(set_.IsInstalled());
    }
}

TEST_F(InstallRegistry, AKeyThatCannotBeCreatedIsReported)
{
#ifdef _WIN32
    // A key name is at most 255 characters.
    AnsiString longName(300, 'k');
    set_.RegistryKey = studio_ + "\\" + longName;
    try {
        set_.WriteRegString("InstallPath", "C:\\");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), S(u8"キー Software\\") + studio_ + "\\" + longName + S(u8" の作成に失敗しました"));
    }
    // A value name is at most 16383 characters.
    set_.RegistryKey = studio_ + "\\Game";
    AnsiString longValue(20000, 'v');
    try {
        set_.WriteRegString(longValue, "C:\\");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), S(u8"'") + longValue + S(u8"' の設定に失敗しました"));
    }
#else
    // The store cannot be changed while its lock file is taken by a directory.
    set_.WriteRegString("InstallPath", "C:\\"); // the store exists
    AnsiString lock = platform::PathFromHost(platform::GetEnv("XDG_CONFIG_HOME") + "/tarn-setup/user.reg.lock");
    ASSERT_TRUE(platform::RemoveFile(lock));
    ASSERT_TRUE(platform::ForceDirectories(lock));
    set_.RegistryKey = studio_ + "\\Other";
    try {
        set_.WriteRegString("InstallPath", "C:\\");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), S(u8"キー Software\\") + studio_ + S(u8"\\Other の作成に失敗しました"));
    }
    EXPECT_TRUE(platform::RemoveDir(lock));
#endif
}

TEST_F(InstallRegistry, DeletingRemovesTheGameAndItsEmptyParents)
{
    AnsiString game = "Software\\" + studio_ + "\\Game";
    set_.WriteRegString("InstallPath", "C:\\Games\\");
    set_.DeleteRegistryKey();
    EXPECT_FALSE(Exists(game));
    EXPECT_FALSE(Exists("Software\\" + studio_)); // left empty: it goes too
    EXPECT_TRUE(Exists("Software"));
    set_.DeleteRegistryKey(); // nothing left to delete: no error
}

// A description may name a maker's key, shared with the records of the
// maker's other games below it: only this game's value goes.
TEST_F(InstallRegistry, DeletingTakesOnlyThisGamesRecord)
{
    AnsiString maker = "Software\\" + studio_;
    set_.RegistryKey = studio_;
    set_.WriteRegString("InstallPath", "C:\\Games\\Maker\\");
    Put(maker + "\\Sibling", "InstallPath", platform::kRegSz, std::string("C:\\Sibling\\") + '\0');
    Put(maker + "\\Series\\Part2", "InstallPath", platform::kRegSz, std::string("C:\\P2\\") + '\0');
    set_.DeleteRegistryKey();
    EXPECT_EQ(set_.ReadRegString("InstallPath", "gone"), "gone");
    TTarnInstallSet sibling;
    sibling.RegistryKey = studio_ + "\\Sibling";
    EXPECT_EQ(sibling.ReadRegString("InstallPath", ""), "C:\\Sibling\\");
    sibling.RegistryKey = studio_ + "\\Series\\Part2";
    EXPECT_EQ(sibling.ReadRegString("InstallPath", ""), "C:\\P2\\");
    EXPECT_TRUE(Exists(maker));

    // Values of the key's own beside the record keep the key, and what is
    // above it.
    set_.RegistryKey = studio_ + "\\Game";
    set_.WriteRegString("InstallPath", "C:\\Games\\Game\\");
    set_.WriteRegString("Volume", "80");
    set_.DeleteRegistryKey();
    EXPECT_EQ(set_.ReadRegString("InstallPath", "gone"), "gone");
    EXPECT_EQ(set_.ReadRegString("Volume", ""), "80");

    // Once the others are gone, the last record takes the empty keys with it.
    sibling.DeleteRegistryKey();
    EXPECT_FALSE(Exists(maker + "\\Series"));
    EXPECT_TRUE(Exists(maker + "\\Sibling"));
    sibling.RegistryKey = studio_ + "\\Sibling";
    sibling.DeleteRegistryKey();
    EXPECT_FALSE(Exists(maker + "\\Sibling"));
    EXPECT_TRUE(Exists(maker + "\\Game")); // it still holds "Volume"
}

// A path of more than 32 levels (Software included) or 1,024 bytes is no
// game's record: writing it is refused as a key that cannot be created,
// reading and deleting find nothing there, even where the registry has it.
TEST_F(InstallRegistry, KeysTooDeepOrTooLongAreRefused)
{
    // Software, the studio, k for the levels between and a last one.
    auto deep = [&](int levels) {
        AnsiString key = studio_;
        for (int i = 3; i < levels; ++i)
            key += "\\k";
        return key + "\\last";
    };
    AnsiString deepest = deep(32), tooDeep = deep(33), veryDeep = deep(2000);
    // Components of 200 bytes (a Windows key name has at most 255).
    AnsiString longest = studio_;
    while (9 + longest.size() + 201 <= 1024) // "Software\" is 9 bytes
        longest += "\\" + AnsiString(200, 'a');
    longest += "\\" + AnsiString(1024 - 9 - longest.size() - 1, 'e');
    ASSERT_EQ(9 + longest.size(), 1024u);
    AnsiString tooLong = longest + "e";
    struct Case {
        AnsiString key;
        bool accepted;
    };
    for (const Case& c : { Case{ deepest, true }, Case{ tooDeep, false }, Case{ veryDeep, false }, Case{ longest, true },
                           Case{ tooLong, false } }) {
        set_.RegistryKey = c.key;
        SCOPED_TRACE(c.key.size());
        if (c.accepted) {
            set_.WriteRegString("InstallPath", "C:\\Deep\\");
            EXPECT_EQ(set_.ReadRegString("InstallPath", ""), "C:\\Deep\\");
            set_.DeleteRegistryKey();
            EXPECT_FALSE(Exists("Software\\" + studio_));
            continue;
        }
        try {
            set_.WriteRegString("InstallPath", "C:\\Deep\\");
            ADD_FAILURE() << "written";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.Message(), S(u8"キー Software\\") + c.key + S(u8" の作成に失敗しました"));
        }
        EXPECT_FALSE(Exists("Software\\" + studio_)); // nothing of it was made
    }
    // Put there by other means, such a key is none of the description's.
    set_.RegistryKey = tooDeep;
    Put("Software\\" + tooDeep, "InstallPath", platform::kRegSz, std::string("C:\\Deep\\") + '\0');
    EXPECT_EQ(set_.ReadRegString("InstallPath", "absent"), "absent");
    EXPECT_FALSE(set_.IsInstalled());
    set_.DeleteRegistryKey();
    auto key = RegistryKey::Open("Software\\" + tooDeep, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ValueNames(), StringList{ "InstallPath" });
}

TEST_F(InstallRegistry, DeletingKeepsParentsThatHoldSomething)
{
    AnsiString base = "Software\\" + studio_;
    // A second game of the same studio keeps the studio's key.
    set_.WriteRegString("InstallPath", "C:\\A\\");
    Put(base + "\\Other", "InstallPath", platform::kRegSz, std::string("C:\\B\\\0", 6));
    set_.DeleteRegistryKey();
    EXPECT_FALSE(Exists(base + "\\Game"));
    EXPECT_TRUE(Exists(base + "\\Other"));

    // A parent that holds a value stays, and so does everything above it; the
    // empty keys in between go.
    set_.RegistryKey = studio_ + "\\Series\\Part\\Game";
    set_.WriteRegString("InstallPath", "C:\\C\\");
    Put(base + "\\Series", "Note", platform::kRegSz, std::string("kept\0", 5));
    set_.DeleteRegistryKey();
    EXPECT_FALSE(Exists(base + "\\Series\\Part"));
    EXPECT_TRUE(Exists(base + "\\Series"));
    EXPECT_TRUE(Exists(base + "\\Other"));
}

TEST_F(InstallRegistry, InstalledWhenThePathHoldsTheGameProgram)
{
    test::TempDir dir;
    EXPECT_FALSE(set_.IsInstalled()); // no value
    set_.WriteRegString("InstallPath", "");
    EXPECT_FALSE(set_.IsInstalled()); // an empty value
    set_.WriteRegString("InstallPath", dir.Path()); // with a trailing backslash
    EXPECT_FALSE(set_.IsInstalled()); // the directory exists, the program does not
    test::WriteFile(dir / "game.exe", "MZ");
    EXPECT_TRUE(set_.IsInstalled());
    set_.WriteRegString("InstallPath", ExcludeTrailingBackslash(dir.Path()));
    EXPECT_TRUE(set_.IsInstalled());
    set_.GameExe = "";
    EXPECT_FALSE(set_.IsInstalled()); // the directory itself is no program
    // A program that exists, but named by a path that climbs out of the
    // installation: never offered to start.
    platform::ForceDirectories(dir / "inside");
    set_.WriteRegString("InstallPath", dir / "inside");
    set_.GameExe = "..\\game.exe";
    EXPECT_FALSE(set_.IsInstalled());
}

} // namespace
