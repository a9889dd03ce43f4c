#include <algorithm>
#include <random>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "base/codepage.h"
#include "base/error.h"
#include "platform/platform.h"
#include "platform/reg_store.h"
#include "support/test_support.h"

using namespace tarn;
using namespace tarn::platform;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// Each test works below a key of its own, removed afterwards (real registry under Wine).
class Registry : public ::testing::Test {
protected:
    void SetUp() override { base_ = "Software\\TarnTest" + std::to_string(std::random_device{}() % 100000000u); }
    void TearDown() override { DeleteTree(base_); }

    static void DeleteTree(const AnsiString& path)
    {
        auto key = RegistryKey::Open(path, false);
        if (!key)
            return;
        for (const AnsiString& sub : key->SubKeyNames())
            DeleteTree(path + "\\" + sub);
        key.reset();
        AnsiString parent = path.substr(0, path.rfind('\\'));
        auto p = RegistryKey::Open(parent, false);
        if (p)
            p->DeleteSubKey(path.substr(path.rfind('\\') + 1));
    }

    AnsiString base_;
};

TEST_F(Registry, CreateWriteReadAndDelete)
{
    EXPECT_FALSE(RegistryKey::Open(base_ + "\\Game", false));
    auto key = RegistryKey::Open(base_ + "\\Studio\\Game", true);
    ASSERT_TRUE(key);
    AnsiString text = S(u8"C:\\ゲーム\\ソフト表\\");
    ASSERT_TRUE(key->WriteValue("InstallPath", kRegSz, text + '\0'));
    ASSERT_TRUE(key->WriteValue("Count", kRegDword, std::string("\x2a\0\0\0", 4)));
    uint32_t type = 0;
    std::string data;
    ASSERT_TRUE(key->ReadValue("installpath", type, data)); // names without regard to case
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(data, text + '\0');
    ASSERT_TRUE(key->ReadValue("Count", type, data));
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data, std::string("\x2a\0\0\0", 4));
    EXPECT_FALSE(key->ReadValue("Missing", type, data));
    EXPECT_EQ(key->ValueNames().size(), 2u);

    auto studio = RegistryKey::Open(base_ + "\\Studio", false);
    ASSERT_TRUE(studio);
    EXPECT_EQ(studio->SubKeyNames(), StringList{ "Game" });
    EXPECT_TRUE(studio->ValueNames().empty());
    auto top = RegistryKey::Open(base_, false);
    EXPECT_FALSE(top->DeleteSubKey("Studio")); // it still has a subkey
    key.reset();
    EXPECT_TRUE(studio->DeleteSubKey("Game"));
    EXPECT_FALSE(RegistryKey::Open(base_ + "\\Studio\\Game", false));
    EXPECT_TRUE(studio->SubKeyNames().empty());
    EXPECT_TRUE(top->DeleteSubKey("Studio"));
}

TEST_F(Registry, UnrepresentableCharactersRoundTrip)
{
    auto key = RegistryKey::Open(base_, true);
    ASSERT_TRUE(key);
    AnsiString path = HostUtf8ToAnsi("C:\\Users\\Ren\xC3\xA9\\Games\\");
    ASSERT_TRUE(key->WriteValue("InstallPath", kRegSz, path + '\0'));
    uint32_t type;
    std::string data;
    ASSERT_TRUE(key->ReadValue("InstallPath", type, data));
    EXPECT_EQ(data, path + '\0');
}

#ifndef _WIN32
std::string StoreText()
{
    return test::ReadFile(platform::PathFromHost(platform::GetEnv("XDG_CONFIG_HOME") + "/tarn-setup/user.reg"));
}

TEST_F(Registry, StoreIsReadableRegSyntax)
{
    auto key = RegistryKey::Open(base_ + "\\Game", true);
    ASSERT_TRUE(key->WriteValue("InstallPath", kRegSz, S(u8"C:\\Games\\\"ゲーム\"\\") + '\0'));
    ASSERT_TRUE(key->WriteValue("Flags", kRegBinary, "\x01\xff"));
    ASSERT_TRUE(key->WriteValue("Odd", kRegSz, std::string("no terminator")));
    std::string text = StoreText();
    std::string section = "[HKEY_CURRENT_USER\\" + base_ + "\\Game]\n"
                          "\"InstallPath\"=\"C:\\\\Games\\\\\\\"ゲーム\\\"\\\\\"\n"
                          "\"Flags\"=hex(3):01,ff\n"
                          "\"Odd\"=hex(1):6e,6f,20,74,65,72,6d,69,6e,61,74,6f,72\n";
    EXPECT_NE(text.find(section), std::string::npos) << text;
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\" + base_ + "]\n"), std::string::npos); // parents are listed
}

TEST_F(Registry, DamagedStoreIsReportedAndNeverOverwritten)
{
    AnsiString file = platform::PathFromHost(platform::GetEnv("XDG_CONFIG_HOME") + "/tarn-setup/user.reg");
    ASSERT_TRUE(RegistryKey::Open(base_, true));
    std::string before = StoreText();
    // A line of nonsense, and a number cut short (which must not read as a smaller one).
    for (const char* damage : { "garbage line\n", "\"Count\"=dword:000\n" }) {
        std::string damaged = before + damage;
        test::WriteFile(file, damaged);
        EXPECT_THROW(RegistryKey::Open(base_ + "\\New", true), ERegistryException) << damage;
        EXPECT_THROW(RegistryKey::Open(base_, false), ERegistryException) << damage;
        EXPECT_EQ(StoreText(), damaged);
    }
    test::WriteFile(file, before);
}

TARN_CHILD(write_many)
{
    for (int i = 0; i < 40; ++i) {
        auto key = RegistryKey::Open(args[0] + "\\" + std::to_string(i % 4), true);
        if (!key || !key->WriteValue("v" + std::to_string(i), kRegSz, args[1] + '\0'))
            return 1;
    }
    return 0;
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing)
{
    auto a = Process::Start(test::SelfPath(), test::ChildArgs("write_many", { base_ + "\\A", "a" }));
    auto b = Process::Start(test::SelfPath(), test::ChildArgs("write_many", { base_ + "\\B", "b" }));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Wait(), 0);
    EXPECT_EQ(b->Wait(), 0);
    for (const char* who : { "A", "B" }) {
        int found = 0;
        for (int k = 0; k < 4; ++k) {
            auto key = RegistryKey::Open(base_ + "\\" + who + "\\" + std::to_string(k), false);
            ASSERT_TRUE(key);
            found += static_cast<int>(key->ValueNames().size());
        }
        EXPECT_EQ(found, 40) << who;
    }
}

std::string StoreDir() { return platform::GetEnv("XDG_CONFIG_HOME") + "/tarn-setup"; }

// Names in a host folder, sorted.
std::vector<std::string> FolderNames(const std::string& dir)
{
    std::vector<std::string> names;
    for (const AnsiString& name : test::TreeOf(platform::PathFromHost(dir)))
        names.push_back(AnsiToHostUtf8(name));
    return names;
}

// A user.reg kept elsewhere through links (a relative one to a second link,
// that one to the file) stays a link: the file at the end is replaced, with
// its permissions, and the temporary file was made beside it.
TEST_F(Registry, StoreBehindSymbolicLinksIsWrittenThrough)
{
    ASSERT_TRUE(RegistryKey::Open(base_, true)); // the store and its folder exist
    TempDir elsewhere;
    std::string dir;
    ASSERT_TRUE(platform::HostPath(elsewhere.Path(), dir));
    std::string link = StoreDir() + "/user.reg", middle = dir + "middle.reg", target = dir + "kept.reg";
    ASSERT_EQ(::rename(link.c_str(), target.c_str()), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("kept.reg", middle.c_str()), 0);
    ASSERT_EQ(::symlink(middle.c_str(), link.c_str()), 0);
    struct Restore {
        std::string link, target;
        ~Restore() { ::unlink(link.c_str()), ::rename(target.c_str(), link.c_str()); }
    } restore{ link, target };

    auto key = RegistryKey::Open(base_ + "\\Linked", true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteValue("InstallPath", kRegSz, std::string("C:\\Linked\\") + '\0'));
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(middle.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::string text = test::ReadFile(platform::PathFromHost(target));
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\" + base_ + "\\Linked]\n\"InstallPath\"=\"C:\\\\Linked\\\\\"\n"), std::string::npos)
        << text;
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{ "kept.reg", "middle.reg" }));
    // Read back through the links.
    uint32_t type = 0;
    std::string data;
    ASSERT_TRUE(RegistryKey::Open(base_ + "\\Linked", false)->ReadValue("InstallPath", type, data));
    EXPECT_EQ(data, std::string("C:\\Linked\\") + '\0');

    // A link to a file not made yet: the file is made where it points.
    ASSERT_EQ(::unlink(middle.c_str()), 0);
    ASSERT_EQ(::symlink("later.reg", middle.c_str()), 0);
    key = RegistryKey::Open(base_ + "\\Linked", true); // the store there starts empty
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteValue("Other", kRegSz, std::string("x\0", 2)));
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::lstat(middle.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    text = test::ReadFile(platform::PathFromHost(dir + "later.reg"));
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\" + base_ + "\\Linked]\n\"Other\"=\"x\"\n"), std::string::npos) << text;
    ASSERT_EQ(::lstat((dir + "later.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // a new store is the user's alone
    ASSERT_EQ(::unlink(middle.c_str()), 0);
    ASSERT_EQ(::symlink("kept.reg", middle.c_str()), 0);
}

// The process id of a process that has ended.
pid_t EndedProcess()
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

// What writers that died before their rename left is removed by the next
// write; a file of a process that is still there, and files that are no
// temporary files of the store, stay.
TEST_F(Registry, TemporaryFilesOfEndedWritersAreRemoved)
{
    ASSERT_TRUE(RegistryKey::Open(base_, true));
    std::string dir = StoreDir();
    pid_t ended = EndedProcess();
    ASSERT_GT(ended, 0);
    std::string stale = "user.reg." + std::to_string(ended) + ".tmp";
    std::string living = "user.reg." + std::to_string(::getppid()) + ".tmp";
    std::vector<std::string> others = { "user.reg.12ab.tmp", "user.reg..tmp", "other.reg." + std::to_string(ended) + ".tmp",
                                        "user.reg." + std::to_string(ended) + ".tmp.keep" };
    for (const std::string& name : others)
        test::WriteFile(platform::PathFromHost(dir + "/" + name), "x");
    test::WriteFile(platform::PathFromHost(dir + "/" + stale), "half a store");
    test::WriteFile(platform::PathFromHost(dir + "/" + living), "being written");
    EXPECT_TRUE(platform::FileExists(platform::PathFromHost(dir + "/" + stale))); // reading removes nothing
    auto key = RegistryKey::Open(base_, false);
    ASSERT_TRUE(key);
    EXPECT_TRUE(platform::FileExists(platform::PathFromHost(dir + "/" + stale)));

    ASSERT_TRUE(key->WriteValue("v", kRegSz, std::string("1\0", 2)));
    std::vector<std::string> expected = others;
    expected.insert(expected.end(), { living, "user.reg", "user.reg.lock" });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderNames(dir), expected);
    for (const std::string& name : expected)
        if (name != "user.reg" && name != "user.reg.lock")
            platform::RemoveFile(platform::PathFromHost(dir + "/" + name));
}
#endif

// ---- the store's text, independent of any file ----

TEST(RegStoreText, ParsesTheSyntaxOfRegFiles)
{
    RegStore s;
    s.Parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\A]\r\n"
            "@=\"default\"\r\n"
            "\"Quote\\\"d\"=\"x\\\\y\"\r\n"
            "\"Bin\"=hex:01,02,\\\r\n  03\r\n"
            "\"Num\"=dword:0000002A\r\n"
            "\"Multi\"=hex(7):61,00,00\r\n"
            "; comment\r\n"
            "[HKEY_LOCAL_MACHINE\\Kept]\r\n");
    RegKeyData* a = s.Find("hkey_current_user\\software\\a");
    ASSERT_TRUE(a);
    ASSERT_EQ(a->Values.size(), 5u);
    EXPECT_EQ(a->Values[0].Name, "");
    EXPECT_EQ(a->Values[0].Data, std::string("default") + '\0');
    EXPECT_EQ(a->Values[1].Name, "Quote\"d");
    EXPECT_EQ(a->Values[1].Data, std::string("x\\y") + '\0');
    EXPECT_EQ(a->Values[2].Type, kRegBinary);
    EXPECT_EQ(a->Values[2].Data, "\x01\x02\x03");
    EXPECT_EQ(a->Values[3].Type, kRegDword);
    EXPECT_EQ(a->Values[3].Data, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(a->Values[4].Type, kRegMultiSz);
    EXPECT_TRUE(s.Exists("HKEY_CURRENT_USER\\Software"));
    EXPECT_FALSE(s.Find("HKEY_CURRENT_USER\\Software"));
    EXPECT_TRUE(s.Find("HKEY_LOCAL_MACHINE\\Kept"));
    EXPECT_EQ(s.SubKeys("HKEY_CURRENT_USER\\Software"), StringList{ "A" });
    // What is written reads back to the same store.
    RegStore again;
    again.Parse(s.Serialize());
    EXPECT_EQ(again.Serialize(), s.Serialize());
}

// A store file needing more code page 932 stand-ins than its user-defined area
// holds (1880 codes) is refused by line, like any other file it cannot read.
// In a child process: the stand-ins, once taken, last for the process.
TARN_CHILD(too_many_foreign_characters)
{
    std::string text = "[HKEY_CURRENT_USER\\A]\n";
    for (char32_t c = 0x20000; c < 0x20000 + 2000; ++c) { // CJK extension B: none of it in code page 932
        std::string ch = { static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                           static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F)) };
        text += "\"v" + std::to_string(c) + "\"=\"" + ch + "\"\n";
    }
    RegStore s;
    try {
        s.Parse(text);
    } catch (const ERegistryException& e) {
        // Line 1 is the key; values 1 to 1880 stand on lines 2 to 1881.
        return e.Message() == S(u8"レジストリファイルの 1882 行目の文字を変換できません") ? 0 : 2;
    }
    return 1;
}

TEST(RegStoreText, MoreForeignCharactersThanStandInsAreRefusedByLine)
{
    auto child = Process::Start(test::SelfPath(), test::ChildArgs("too_many_foreign_characters"));
    ASSERT_TRUE(child);
    EXPECT_EQ(child->Wait(), 0);
}

TEST(RegStoreText, MalformedLinesAreRefusedWithTheirNumber)
{
    for (const char* bad : { "\"v\"=\"x\"\n", "[HKEY_CURRENT_USER\\A]\nnonsense\n", "[HKEY_CURRENT_USER\\A]\n\"v\"=hex:0g\n",
                             "[HKEY_CURRENT_USER\\A]\n\"v\"=hex:01,\\", "[HKEY_CURRENT_USER\\A]\n\"v\"=\"open\n",
                             "[-HKEY_CURRENT_USER\\A]\n", "[HKEY_CURRENT_USER\\A\n", "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n",
                             // A number cut short is damage, not a smaller number.
                             "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:000\n", "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:\n",
                             "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:0000002\n" }) {
        RegStore s;
        EXPECT_THROW(s.Parse(bad), ERegistryException) << bad;
    }
    RegStore s;
    try {
        s.Parse("[HKEY_CURRENT_USER\\A]\n\n\"v\"=hex(4):zz\n");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), S(u8"レジストリファイルの 3 行目が不正です"));
    }
}

// Keys are told apart component by component, a component being what lies
// between backslashes that are characters of their own.
TEST(RegStoreText, KeysAreFoundComponentByComponent)
{
    RegStore s;
    // ソ ends in the byte of a backslash, ゾ in that of a closing bracket: each is one character.
    AnsiString so = S(u8"ソフト"), zo = S(u8"ゾンビ"), a = S(u8"ア");
    ASSERT_EQ(so.substr(0, 2), "\x83\x5c");
    ASSERT_EQ(zo.substr(0, 2), "\x83\x5d");
    ASSERT_EQ(a, "\x83\x41");
    ASSERT_TRUE(s.Create("HKEY_CURRENT_USER\\" + so + "\\Game"));
    ASSERT_TRUE(s.Create("HKEY_CURRENT_USER\\" + zo));
    ASSERT_TRUE(s.Create("HKEY_CURRENT_USER\\" + a));
    EXPECT_EQ(s.SubKeys("HKEY_CURRENT_USER"), (StringList{ so, zo, a }));
    EXPECT_EQ(s.SubKeys("hkey_current_user\\" + so), StringList{ "Game" });
    EXPECT_TRUE(s.Find("HKEY_CURRENT_USER\\" + so + "\\gAME"));
    EXPECT_FALSE(s.Exists("HKEY_CURRENT_USER\\\x83")); // the first byte of ソ is no key
    EXPECT_FALSE(s.Exists("HKEY_CURRENT_USER\\\x83\x61")); // the second byte of ア is no letter to fold
    // What is written reads back to the same keys.
    RegStore again;
    again.Parse(s.Serialize());
    EXPECT_EQ(again.SubKeys("HKEY_CURRENT_USER"), (StringList{ so, zo, a }));
    EXPECT_TRUE(again.Find("HKEY_CURRENT_USER\\" + zo));

    // Names the file could not give back are refused: a bracket would end
    // the section, a line break the line, a leading dash would read as a deletion.
    for (const char* bad : { "HKEY_CURRENT_USER\\a]b", "HKEY_CURRENT_USER\\a\nb", "-HKEY_CURRENT_USER\\A", "" })
        EXPECT_FALSE(s.Create(bad)) << bad;
}

TEST(RegStoreText, DeletingKeepsTheRestAndItsOrder)
{
    RegStore s;
    s.Parse("[HKEY_CURRENT_USER\\A\\B\\C]\n\"v\"=\"c\"\n[HKEY_CURRENT_USER\\A\\D]\n");
    EXPECT_TRUE(s.Exists("HKEY_CURRENT_USER\\A\\B")); // only a parent: not listed
    EXPECT_FALSE(s.Find("HKEY_CURRENT_USER\\A\\B"));
    EXPECT_FALSE(s.Delete("HKEY_CURRENT_USER\\A\\B"));
    EXPECT_FALSE(s.Delete("HKEY_CURRENT_USER\\A\\D\\E"));
    EXPECT_TRUE(s.Delete("hkey_current_user\\a\\b\\c"));
    EXPECT_FALSE(s.Delete("HKEY_CURRENT_USER\\A\\B\\C"));
    EXPECT_FALSE(s.Exists("HKEY_CURRENT_USER\\A\\B")); // C alone held it up
    EXPECT_TRUE(s.Exists("HKEY_CURRENT_USER\\A"));
    EXPECT_EQ(s.SubKeys("HKEY_CURRENT_USER\\A"), StringList{ "D" });
    EXPECT_EQ(s.Serialize(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A\\D]\n");
    // Made again, a key goes to the end of the file, after its parents.
    ASSERT_TRUE(s.Create("HKEY_CURRENT_USER\\A\\b\\E"));
    EXPECT_EQ(s.SubKeys("HKEY_CURRENT_USER\\A"), (StringList{ "D", "b" }));
    EXPECT_EQ(s.Serialize(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A\\D]\n\n[HKEY_CURRENT_USER]\n\n"
                             "[HKEY_CURRENT_USER\\A]\n\n[HKEY_CURRENT_USER\\A\\b]\n\n[HKEY_CURRENT_USER\\A\\b\\E]\n");
    EXPECT_EQ(s.KeyCount(), 5u);
}

// A key named twice is one key; a value named twice, in its sections or
// across them, keeps its place and takes the last data and spelling.
TEST(RegStoreText, RepeatedKeysAndValuesAreMerged)
{
    RegStore s;
    s.Parse("[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n\"w\"=\"2\"\n"
            "[HKEY_CURRENT_USER\\B]\n\"v\"=\"b\"\n"
            "[hkey_current_user\\a]\n\"V\"=\"3\"\n\"x\"=dword:00000001\n\"w\"=\"4\"\n");
    EXPECT_EQ(s.KeyCount(), 2u);
    EXPECT_EQ(s.Serialize(), "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\A]\n\"V\"=\"3\"\n\"w\"=\"4\"\n\"x\"=hex(4):01,00,00,00\n\n"
                             "[HKEY_CURRENT_USER\\B]\n\"v\"=\"b\"\n");
}

} // namespace
