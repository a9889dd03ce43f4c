#include "base/codepage.h"
#include "common/tool_json.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::Hex;
using tarn::test::S;
using tarn::tools::Json;

namespace {

platform::ProcessResult Instdat(const std::vector<std::string>& args, std::string_view input = {})
{
    return platform::RunProcess(test::ProgramPath("instdat"), args, input);
}

std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

// Two discs; Title is Japanese text, FooterText bytes that are no CP932 text.
const char kTwoDiscs[] = "ff ff ff 7f"                   // DiscIndex 2147483647
                         "06 00 00 00 83 51 81 5b 83 80" // Title ゲーム
                         "03 00 00 00 81 40 ff"          // FooterText: 0xFF is no character
                         "00 00 00 00"                   // DefaultDir
                         "01 00 00 00 72"                // ReadmeFile r
                         "ff"                            // OpenReadme 255
                         "00 00 00 00"                   // TitleImage
                         "02"                            // ImageLayout 2
                         "02 00 00 00"                   // DiscCount 2
                         "01 00 00 00 67"                // GameExe g
                         "00 00 00 80"                   // ImageSeed -2147483648
                         "01 a5"                         // SetupButtons 1, Reserved 0xA5
                         "00 00 00 00"                   // MediaName
                         "02 00 00 00 41 5c"             // RegistryKey A\ (backslash)
                         "01 00 00 00 02 00 00 00 03 00 00 00 00 00 10 00"
                         "05 00 00 00 06 00 00 00 07 00 00 00 08 00 00 00"
                         "06 00 00 00 08 00 00 00 0a 00 00 00 ff ff ff ff"
                         "01";                           // Installed 1

TEST(Instdat, ShowJsonNamesEveryFieldInFileOrder)
{
    test::TempDir dir;
    test::WriteFile(dir / "install.dat", Hex(kTwoDiscs));
    auto r = Instdat({ "show", Host(dir / "install.dat"), "--json" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    Json o = Json::parse(r.Out);
    std::vector<std::string> keys;
    for (const auto& [key, value] : o.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{ "DiscIndex", "Title", "FooterText", "DefaultDir", "ReadmeFile", "OpenReadme",
                                               "TitleImage", "ImageLayout", "DiscCount", "GameExe", "ImageSeed", "SetupButtons",
                                               "Reserved", "MediaName", "RegistryKey", "ProgramSizes", "DataSizes", "SoundSizes",
                                               "MovieSizes", "ProgramTotal", "DataTotal", "SoundTotal", "MovieTotal", "Installed" }));
    EXPECT_EQ(o.at("DiscIndex").get<int64_t>(), INT32_MAX);
    EXPECT_EQ(o.at("Title").get<std::string>(), "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"); // ゲーム in UTF-8
    EXPECT_EQ(o.at("FooterText").dump(), "{\"hex\":\"8140ff\"}");
    EXPECT_EQ(o.at("RegistryKey").get<std::string>(), "A\\");
    EXPECT_EQ(o.at("OpenReadme").get<int64_t>(), 255);
    EXPECT_EQ(o.at("Reserved").get<int64_t>(), 0xA5);
    EXPECT_EQ(o.at("ImageSeed").get<int64_t>(), INT32_MIN);
    EXPECT_EQ(o.at("ProgramSizes").dump(), "[1,5]");
    EXPECT_EQ(o.at("MovieSizes").dump(), "[1048576,8]");
    EXPECT_EQ(o.at("MovieTotal").get<int64_t>(), -1);
    EXPECT_EQ(o.at("Installed").get<int64_t>(), 1);
}

TEST(Instdat, JsonRoundTripReproducesTheFileByteForByte)
{
    test::TempDir dir;
    TTarnInstallSet empty; // no discs, every string empty
    std::string files[] = { Hex(kTwoDiscs), empty.SaveToBytes(),
                            // every string non-empty, one of them a lone lead byte
                            Hex("00 00 00 00 01 00 00 00 81 02 00 00 00 83 5c 01 00 00 00 5c 01 00 00 00 78 00"
                                "01 00 00 00 79 00 00 00 00 00 01 00 00 00 7a 00 00 00 00 00 00 01 00 00 00 30"
                                "01 00 00 00 31 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00") };
    int n = 0;
    for (const std::string& bytes : files) {
        AnsiString in = dir / ("in" + std::to_string(n) + ".dat"), out = dir / ("out" + std::to_string(n++) + ".dat");
        test::WriteFile(in, bytes);
        ASSERT_NO_THROW(TTarnInstallSet().LoadFromFile(in)); // a valid description
        auto shown = Instdat({ "show", Host(in), "--json" });
        ASSERT_EQ(shown.ExitCode, 0) << shown.Err;
        auto created = Instdat({ "create", Host(out), "--from", "-" }, shown.Out);
        ASSERT_EQ(created.ExitCode, 0) << created.Err;
        EXPECT_EQ(test::ToHex(test::ReadFile(out)), test::ToHex(bytes));
    }

    // Bytes after Installed: a warning, and they are not written back.
    test::WriteFile(dir / "tail.dat", Hex(kTwoDiscs) + "tail");
    auto shown = Instdat({ "show", Host(dir / "tail.dat"), "--json" });
    ASSERT_EQ(shown.ExitCode, 0);
    EXPECT_NE(shown.Err.find("4 bytes after Installed"), std::string::npos) << shown.Err;
    test::WriteFile(dir / "tail.json", shown.Out);
    auto created = Instdat({ "create", Host(dir / "fromfile.dat"), "--from", Host(dir / "tail.json") });
    ASSERT_EQ(created.ExitCode, 0) << created.Err;
    EXPECT_EQ(test::ReadFile(dir / "fromfile.dat"), Hex(kTwoDiscs));
}

TEST(Instdat, CreateRefusesWhatIsNoDescription)
{
    test::TempDir dir;
    test::WriteFile(dir / "install.dat", Hex(kTwoDiscs));
    const std::string valid = Instdat({ "show", Host(dir / "install.dat"), "--json" }).Out;
    ASSERT_FALSE(valid.empty());
    auto changed = [&](const std::string& key, const std::string& json) {
        Json o = Json::parse(valid);
        o[key] = Json::parse(json);
        return o.dump();
    };
    auto without = [&](const std::string& key) {
        Json o = Json::object(), all = Json::parse(valid);
        for (const auto& [k, v] : all.items())
            if (k != key)
                o[k] = v;
        return o.dump();
    };
    struct Case {
        std::string json, message;
    } cases[] = {
        { changed("DiscIndex", "2147483648"), "DiscIndex" },
        { changed("ImageSeed", "-2147483649"), "ImageSeed" },
        { changed("ImageLayout", "256"), "ImageLayout" },
        { changed("OpenReadme", "-1"), "OpenReadme" },
        { changed("Reserved", "1.5"), "Reserved" },
        { changed("SetupButtons", "true"), "SetupButtons" },
        { changed("Installed", "2"), "Installed" },
        { changed("DiscCount", "-1"), "DiscCount" },
        { changed("DiscCount", "3"), "ProgramSizes" },
        { changed("SoundSizes", "[1]"), "SoundSizes" },
        { changed("DataSizes", "[1, 4294967296]"), "DataSizes" },
        { changed("Title", "\"\xF0\x9F\x98\x80\""), "Title" },       // an emoji: no CP932 character
        { changed("MediaName", "{\"hex\": \"8\"}"), "MediaName" },   // odd number of digits
        { changed("GameExe", "7"), "GameExe" },
        { changed("GameExe", "{\"hex\": 67}"), "GameExe" },
        { changed("GameExe", "{\"hex\": \"67\", \"text\": \"g\"}"), "GameExe" },
        { changed("DiscIndex", "\"5\""), "DiscIndex" },
        { changed("DiscIndex", "9223372036854775808"), "DiscIndex" },
        { changed("DiscIndex", "0.5"), "DiscIndex" },
        { changed("Extra", "1"), "unknown key: Extra" },
        { without("DiscIndex"), "missing key: DiscIndex" },
        { without("Installed"), "missing key: Installed" },
        { valid.substr(0, valid.size() / 2), "standard input" },
        { "[]", "one JSON object" },
    };
    for (const Case& c : cases) {
        auto r = Instdat({ "create", Host(dir / "new.dat"), "--from", "-" }, c.json);
        EXPECT_EQ(r.ExitCode, 1) << c.json;
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err << c.json;
        EXPECT_FALSE(platform::FileExists(dir / "new.dat")) << c.json;
    }
    // Hex digits in either case; an integer may be written as a number
    // without a fraction.
    Json o = Json::parse(changed("FooterText", "{\"hex\": \"8140FF\"}"));
    o["ImageLayout"] = Json::parse("2.0");
    o["DiscCount"] = Json::parse("2e0");
    auto r = Instdat({ "create", Host(dir / "new.dat"), "--from", "-" }, o.dump());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::ReadFile(dir / "new.dat"), Hex(kTwoDiscs));
}

TEST(Instdat, CreateRefusesMalformedJsonNamingWhatIsWrong)
{
    test::TempDir dir;
    struct Case {
        std::string json, message;
    } cases[] = {
        { "", "JSON: " },
        { "{\"Title\": \"a\", \"Title\": \"b\"}", "JSON: duplicate key \"Title\"" },
        // Deeper than the limit, and far deeper than any stack.
        { std::string(257, '[') + std::string(257, ']'), "nested deeper than 256 levels" },
        { std::string(2000000, '['), "nested deeper than 256 levels" },
        { [] {
              std::string objects;
              for (int i = 0; i < 100000; ++i)
                  objects += "{\"DiscCount\":";
              return objects;
          }(),
          "nested deeper than 256 levels" },
        { "{\"DiscIndex\": 1e999}", "number overflow" },
        { "{\"Title\": \"\xff\"}", "UTF-8" },
        { "{} {}", "JSON: " },
    };
    for (const Case& c : cases) {
        auto r = Instdat({ "create", Host(dir / "new.dat"), "--from", "-" }, c.json);
        EXPECT_EQ(r.ExitCode, 1) << c.json.substr(0, 40);
        EXPECT_TRUE(r.Err.starts_with("instdat: standard input: ")) << r.Err;
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
        EXPECT_FALSE(platform::FileExists(dir / "new.dat"));
    }
    // From a file, the message names it.
    test::WriteFile(dir / "bad.json", "{\"DiscCount\": 1,, }");
    auto r = Instdat({ "create", Host(dir / "new.dat"), "--from=" + Host(dir / "bad.json") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find(Host(dir / "bad.json") + ": JSON: "), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("line 1, column 17"), std::string::npos) << r.Err;
}

TEST(Instdat, SetChangesFieldsInPlace)
{
    test::TempDir dir;
    AnsiString file = dir / "install.dat";
    test::WriteFile(file, Hex(kTwoDiscs));
    auto r = Instdat({ "set", Host(file), "Title=\xE6\x97\xA5\xE6\x9C\xAC", "GameExe=hex:83405C", "FooterText=a=b",
                       "ProgramSizes=1,-2,0x10", "DiscCount=3", "ImageSeed=0x80000001", "ImageLayout=0xff", "Installed=0" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TTarnInstallSet d;
    d.LoadFromFile(file);
    EXPECT_EQ(d.Title, S(u8"日本"));
    EXPECT_EQ(d.GameExe, "\x83\x40\x5C");
    EXPECT_EQ(d.FooterText, "a=b"); // split at the first '='
    EXPECT_EQ(d.DiscCount(), 3);    // applied before the lists
    EXPECT_EQ(std::vector<int32_t>(d.ProgramSizes().begin(), d.ProgramSizes().end()), (std::vector<int32_t>{ 1, -2, 16 }));
    EXPECT_EQ(std::vector<int32_t>(d.MovieSizes().begin(), d.MovieSizes().end()), (std::vector<int32_t>{ 1048576, 8, 0 }));
    EXPECT_EQ(d.ImageSeed, static_cast<int32_t>(0x80000001u));
    EXPECT_EQ(d.ImageLayout, 0xFF);
    EXPECT_EQ(d.Installed, 0);
    EXPECT_EQ(d.Reserved, 0xA5); // untouched fields stay
    EXPECT_EQ(d.RegistryKey, "A\\");
}

TEST(Instdat, SetRefusesValuesThatDoNotFit)
{
    test::TempDir dir;
    AnsiString file = dir / "install.dat";
    const std::string original = Hex(kTwoDiscs);
    test::WriteFile(file, original);
    struct Case {
        std::vector<std::string> assignments;
        int exitCode;
        std::string message;
    } cases[] = {
        { { "Unknown=1" }, 2, "unknown field: Unknown" },
        { { "Title" }, 2, "FIELD=VALUE" },
        { { "ImageLayout=256" }, 1, "ImageLayout" },
        { { "Installed=2" }, 1, "Installed" },
        { { "DiscIndex=2147483648" }, 1, "DiscIndex" },
        { { "DiscIndex=twelve" }, 1, "DiscIndex" },
        { { "DiscCount=-1" }, 1, "DiscCount" },
        { { "DataSizes=1,2,3" }, 1, "DataSizes" },
        { { "DiscCount=1", "DataSizes=1,2" }, 1, "DataSizes" },
        { { "SoundSizes=1,,2" }, 1, "SoundSizes" },
        { { "Title=\xF0\x9F\x98\x80" }, 1, "Title" },
        { { "GameExe=hex:zz" }, 1, "GameExe" },
        { { "Title=ok", "ImageLayout=300" }, 1, "ImageLayout" }, // nothing of a failed call is written
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{ "set", Host(file) };
        args.insert(args.end(), c.assignments.begin(), c.assignments.end());
        auto r = Instdat(args);
        EXPECT_EQ(r.ExitCode, c.exitCode) << c.assignments[0];
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
        EXPECT_EQ(test::ReadFile(file), original) << c.assignments[0];
    }
}

TEST(Instdat, ShowForAPersonAndTheReadersMessages)
{
    test::TempDir dir;
    test::WriteFile(dir / "install.dat", Hex(kTwoDiscs));
    auto r = Instdat({ "show", Host(dir / "install.dat") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("1048576 bytes (1.00 MB)"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0"), std::string::npos) << r.Out; // ゲーム
    EXPECT_NE(r.Out.find("8140ff"), std::string::npos) << r.Out;                                // the bytes that are no text

    test::WriteFile(dir / "cut.dat", Hex(kTwoDiscs).substr(0, 40));
    r = Instdat({ "show", Host(dir / "cut.dat") });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find(Cp932ToUtf8Lossy(S(u8"は壊れています"))), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
    r = Instdat({ "show", Host(dir / "missing.dat"), "--json" });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find(Cp932ToUtf8Lossy(S(u8"は開けません"))), std::string::npos) << r.Err;
}

TEST(Instdat, UsageHelpAndVersion)
{
    auto r = Instdat({ "--help" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("instdat set FILE FIELD=VALUE"), std::string::npos);
    r = Instdat({ "--version" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out.rfind("instdat ", 0), 0u);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, { "frobnicate" }, { "show" }, { "show", "a", "b" }, { "show", "a", "--xml" }, { "create", "out.dat" }, { "set", "f" },
             { "create", "out.dat", "--from" }, { "create", "out.dat", "--from=" }, { "--json", "show", "a" } }) {
        r = Instdat(args);
        EXPECT_EQ(r.ExitCode, 2) << testing::PrintToString(args) << r.Err;
        EXPECT_NE(r.Err.find("--help"), std::string::npos);
    }
    // Each command's own help names its arguments and options.
    r = Instdat({ "set", "--help" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("FIELD=VALUE"), std::string::npos) << r.Out;
    r = Instdat({ "show", "install.dat", "--help" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("--json"), std::string::npos) << r.Out;
    r = Instdat({ "create", "--help" });
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("--from"), std::string::npos) << r.Out;
}

} // namespace
