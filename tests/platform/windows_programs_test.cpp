// What Windows programs need where they run through Wine: the Japanese
// locale made with the system's localedef into a folder of the test's home
// (the system's own hidden through LOCPATH), the font replacements chosen
// from what fontconfig may list, and the check of wine itself.
#ifndef _WIN32
#include <locale.h>
#include <sys/stat.h>

#include <chrono>
#include <cwchar>

#include "base/codepage.h"
#include "platform/platform.h"
#include "platform/windows_programs.h"
#include "support/test_support.h"

namespace tarn {
namespace {

std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

// A Japanese text read through the locale: a UTF-8 locale takes the bytes as three characters.
size_t JapaneseCharacters(const char* name)
{
    locale_t l = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (!l)
        return 0;
    locale_t old = ::uselocale(l);
    wchar_t wide[8] = {};
    size_t n = std::mbstowcs(wide, "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86", 8); // あいう
    ::uselocale(old);
    ::freelocale(l);
    return n;
}

TEST(JapaneseLocale, MadeOnceIntoItsFolderWhereTheSystemHasNoneAndNamedMissingWithoutTheSources)
{
    TARN_REQUIRE_TOOL("localedef");
    test::TempDir dir;
    platform::ForceDirectories(dir / "empty");
    test::ScopedEnv hide("LOCPATH", Host(dir / "empty"));
    test::ScopedEnv data("XDG_DATA_HOME", Host(dir / "data"));

    platform::JapaneseLocale before = platform::FindJapaneseLocale();
    EXPECT_EQ(before.State, platform::JapaneseLocaleState::CanBeMade);
    EXPECT_TRUE(platform::JapaneseLocaleWanting().empty());
    const std::string own = platform::OwnLocaleDirectory();
    EXPECT_EQ(own, Host(dir / "data") + "/tarn-setup/locale");

    std::string reason;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(platform::MakeJapaneseLocale(own, reason)) << reason;
    auto made = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("BENCH localedef ja_JP.UTF-8: %lld ms\n", static_cast<long long>(made));
    struct stat link;
    ASSERT_EQ(::lstat((own + "/ja_JP.utf8").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    struct stat ctype;
    ASSERT_EQ(::stat((own + "/ja_JP.UTF-8/LC_CTYPE").c_str(), &ctype), 0);

    platform::JapaneseLocale after = platform::FindJapaneseLocale();
    EXPECT_EQ(after.State, platform::JapaneseLocaleState::Own);
    EXPECT_EQ(after.LocPath, own);
    // Still hidden from this process: only a program given LOCPATH finds it.
    EXPECT_EQ(JapaneseCharacters("ja_JP.UTF-8"), 0u);
    {
        test::ScopedEnv use("LOCPATH", own);
        EXPECT_EQ(JapaneseCharacters("ja_JP.UTF-8"), 3u);
        EXPECT_EQ(JapaneseCharacters("ja_JP.utf8"), 3u);
        // Found where LOCPATH looks, it counts as the system's.
        EXPECT_EQ(platform::FindJapaneseLocale().State, platform::JapaneseLocaleState::System);
    }
    // Made once: a second call keeps what is there.
    ASSERT_TRUE(platform::MakeJapaneseLocale(own, reason)) << reason;
    struct stat again;
    ASSERT_EQ(::stat((own + "/ja_JP.UTF-8/LC_CTYPE").c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, ctype.st_ino);
    EXPECT_EQ(again.st_mtim.tv_nsec, ctype.st_mtim.tv_nsec);

    // Without localedef (no locale sources to make it from) nothing is made, and the package is named.
    test::ScopedEnv noTools("PATH", Host(dir / "empty"));
    platform::JapaneseLocale missing;
    {
        test::ScopedEnv otherData("XDG_DATA_HOME", Host(dir / "other"));
        missing = platform::FindJapaneseLocale();
        EXPECT_FALSE(platform::MakeJapaneseLocale(platform::OwnLocaleDirectory(), reason));
        EXPECT_NE(reason.find("locales"), std::string::npos) << reason;
        AnsiString wanting = platform::JapaneseLocaleWanting();
        EXPECT_NE(wanting.find("locales"), AnsiString::npos);
        EXPECT_FALSE(platform::FileExists(dir / "other\\tarn-setup\\locale\\ja_JP.UTF-8\\LC_CTYPE"));
    }
    EXPECT_EQ(missing.State, platform::JapaneseLocaleState::Missing);
    EXPECT_EQ(missing.Package, "locales");
    // The locale made earlier still serves.
    EXPECT_EQ(platform::FindJapaneseLocale().State, platform::JapaneseLocaleState::Own);
}

using Replacements = std::vector<std::pair<std::string, std::string>>;

std::string For(const Replacements& r, const std::string& face)
{
    for (const auto& [f, family] : r)
        if (f == face)
            return family;
    return "(none)";
}

TEST(JapaneseFonts, EveryFaceGetsTheClosestFamilyThereIs)
{
    const std::string gothic = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF"; // ＭＳ ゴシック
    const std::string mincho = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D";                         // ＭＳ 明朝
    const std::string pmincho = "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE6\x98\x8E\xE6\x9C\x9D";              // ＭＳ Ｐ明朝

    EXPECT_TRUE(platform::JapaneseFontReplacements({}).empty());

    // All four IPA families: each face its own kind, proportional where asked.
    Replacements ipa = platform::JapaneseFontReplacements({ "IPAPMincho", "IPAGothic", "IPAMincho", "IPAPGothic" });
    EXPECT_EQ(ipa.size(), 9u);
    EXPECT_EQ(For(ipa, gothic), "IPAGothic");
    EXPECT_EQ(For(ipa, "MS Gothic"), "IPAGothic");
    EXPECT_EQ(For(ipa, "MS PGothic"), "IPAPGothic");
    EXPECT_EQ(For(ipa, "MS UI Gothic"), "IPAPGothic");
    EXPECT_EQ(For(ipa, mincho), "IPAMincho");
    EXPECT_EQ(For(ipa, pmincho), "IPAPMincho");
    EXPECT_EQ(For(ipa, "MS PMincho"), "IPAPMincho");

    // Only gothics (fonts-ipafont-gothic alone): the mincho faces get the gothic.
    Replacements gothics = platform::JapaneseFontReplacements({ "IPAPGothic", "IPAGothic" });
    EXPECT_EQ(For(gothics, mincho), "IPAGothic");
    EXPECT_EQ(For(gothics, "MS PMincho"), "IPAPGothic");
    EXPECT_EQ(For(gothics, "MS PGothic"), "IPAPGothic");

    // Noto CJK and a serif: a family unknown by name is taken by its kind.
    Replacements noto = platform::JapaneseFontReplacements({ "Noto Sans CJK JP", "Some Serif JP" });
    EXPECT_EQ(For(noto, gothic), "Noto Sans CJK JP");
    EXPECT_EQ(For(noto, mincho), "Some Serif JP");

    // A mincho alone stands in for everything.
    Replacements one = platform::JapaneseFontReplacements({ "TakaoMincho" });
    EXPECT_EQ(For(one, "MS UI Gothic"), "TakaoMincho");
    EXPECT_EQ(For(one, pmincho), "TakaoMincho");
}

TEST(JapaneseFonts, FontconfigListsTheInstalledGothicByItsAsciiName)
{
    TARN_REQUIRE_TOOL("fc-list");
    std::vector<std::string> families = platform::JapaneseFontFamilies();
    // fonts-ipafont-gothic is among the build's packages.
    EXPECT_NE(std::find(families.begin(), families.end(), "IPAGothic"), families.end());
    for (const std::string& f : families)
        for (char c : f)
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << f;
}

TEST(Wine, ItsPathVersionAndWhichProgramsItRunsAreFound)
{
    TARN_REQUIRE_TOOL("wine");
    auto start = std::chrono::steady_clock::now();
    platform::WineCheck first = platform::CheckWine();
    auto t1 = std::chrono::steady_clock::now();
    platform::WineCheck second = platform::CheckWine();
    auto t2 = std::chrono::steady_clock::now();
    auto ms = [](auto d) { return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count()); };
    std::printf("BENCH wine check: first %lld ms, second %lld ms\n", ms(t1 - start), ms(t2 - t1));

    ASSERT_FALSE(first.Path.empty());
    EXPECT_EQ(first.Path[0], '/');
    EXPECT_EQ(first.Version.compare(0, 5, "wine-"), 0) << first.Version;
    // Every wine runs 64-bit programs here; a 32-bit one runs exactly when wine32 is there.
    EXPECT_TRUE(first.Runs64) << first.Note;
    EXPECT_EQ(first.Runs32, first.Note.empty()) << first.Note;
    EXPECT_EQ(second.Runs64, first.Runs64);
    EXPECT_EQ(second.Runs32, first.Runs32);
    // The check's prefix is made without asking for downloads, in the cache folder, and kept.
    const std::string prefix = platform::GetEnv("HOME") + "/.cache/tarn-setup/wine-check/prefix";
    // The server writes the registry when it ends, a few seconds after its last program.
    platform::RunProcess(platform::PathFromHost("/usr/bin/env"), { "WINEPREFIX=" + prefix, first.Path + "server", "-w" });
    EXPECT_TRUE(platform::FileExists(platform::PathFromHost(prefix + "/system.reg")));
}

TEST(WinePrefix, TheOwnPrefixOfAGameIsAFolderOfItsKeyMadeSafe)
{
    test::TempDir dir;
    test::ScopedEnv data("XDG_DATA_HOME", Host(dir.Path()));
    const std::string root = Host(dir.Path()) + "/tarn-setup/wine/";
    EXPECT_EQ(platform::OwnPrefixDirectory("Yuzuriha"), root + "Yuzuriha");
    // Separators, dots and CP932 never name another folder; two keys that read alike stay apart.
    std::string a = platform::OwnPrefixDirectory("Yuzuriha\\Shiomizaka");
    std::string b = platform::OwnPrefixDirectory("Yuzuriha/Shiomizaka");
    EXPECT_NE(a, b);
    for (const std::string& p : { a, b, platform::OwnPrefixDirectory(".."), platform::OwnPrefixDirectory(test::S(u8"ゲーム\\..\\x")) }) {
        ASSERT_EQ(p.compare(0, root.size(), root), 0) << p;
        std::string leaf = p.substr(root.size());
        EXPECT_EQ(leaf.find('/'), std::string::npos) << p;
        EXPECT_NE(leaf, "..");
        EXPECT_NE(leaf[0], '.');
        for (char c : leaf)
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << p;
    }
    EXPECT_EQ(platform::OwnPrefixDirectory(""), root + "default");

    // The prefix set for a game: the named one wins, else the game's own.
    platform::SetWindowsProgramsPrefix("Yuzuriha", "");
    EXPECT_EQ(platform::WindowsProgramsPrefix(), root + "Yuzuriha");
    platform::SetWindowsProgramsPrefix("Yuzuriha", "/srv/prefix");
    EXPECT_EQ(platform::WindowsProgramsPrefix(), "/srv/prefix");
    platform::SetWindowsProgramsPrefix("", "");
}

} // namespace
} // namespace tarn
#endif
