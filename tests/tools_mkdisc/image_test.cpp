// mkdisc --image: the images read back by programs written elsewhere (xorriso,
// isoinfo) as the disc folders they stand for, and the raw sectors of a cue
// sheet's .bin checked against EDC and ECC computed here.
#include <set>

#include "base/path.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

platform::ProcessResult Tool(const std::string& tool, const std::vector<std::string>& args)
{
    return platform::RunProcess(tool == "mkdisc" ? test::ProgramPath("mkdisc") : test::ToolPath(tool), args);
}

std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto put = [&](const AnsiString& rel, std::string_view bytes) {
            AnsiString path = src / rel;
            platform::ForceDirectories(ExcludeTrailingBackslash(ExtractFilePath(path)));
            test::WriteFile(path, bytes);
        };
        put("d\\readme.txt", "0123456789");
        put("d\\a-b.txt", "dash");      // one primary name for two files
        put("d\\a_b.txt", "underscore");
        put("d\\empty.bin", "");
        put(S(u8"d\\セーブ.txt"), "save");
        put(S(u8"d\\ソ\\表示.txt"), "show"); // both end in the byte of a backslash
        put("d\\" + std::string(103, 'n'), "longest");
        // More than a sector of records in one folder.
        for (int i = 0; i < 60; ++i)
            put("d\\many\\file number " + std::to_string(i) + " of a long list.dat", std::to_string(i));
        // Across the writer's blocks of 1 MiB, with the last sector part-filled.
        std::string big;
        for (int i = 0; i < 1300000; ++i)
            big += static_cast<char>(i * 7 + i / 251);
        put("d\\sub\\big.dat", big);
        test::WriteFile(src / "m.json",
                        R"({ "install": { "Title": "テスト" }, "discs": [ { "files": [ { "src": "d" } ] },
                                                                 { "files": [ { "src": "d/readme.txt" } ] } ] })");
    }

    platform::ProcessResult Build(const AnsiString& out, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = { Host(src / "m.json"), "-o", Host(out) };
        args.insert(args.end(), extra.begin(), extra.end());
        return Tool("mkdisc", args);
    }

    TempDir src, out;
};

// xorriso and isoinfo are Linux programs: the Windows build checks its images
// by the other tests here.
#ifndef _WIN32
// The names and bytes of every file below two folders agree.
void ExpectSameTree(const AnsiString& a, const AnsiString& b)
{
    StringList files = test::TreeOf(a);
    ASSERT_EQ(files, test::TreeOf(b));
    for (const AnsiString& f : files)
        EXPECT_EQ(test::ReadFile(AddBackslash(a) + f), test::ReadFile(AddBackslash(b) + f)) << f;
}

TEST_F(ImageTest, IsoImagesReadBackAsTheFoldersTheyStandFor)
{
    TARN_REQUIRE_TOOL("xorriso");
    TARN_REQUIRE_TOOL("isoinfo");
    ASSERT_EQ(Build(out / "folders").ExitCode, 0);
    auto r = Build(out / "images", { "--image", "iso" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("disc2.iso: 1 files"), std::string::npos) << r.Out;
    EXPECT_EQ(test::TreeOf(out / "images"), (StringList { "disc1.iso", "disc2.iso" }));
    EXPECT_FALSE(platform::DirectoryExists(out / "images\\disc1"));

    for (int n : { 1, 2 }) {
        SCOPED_TRACE(n);
        std::string iso = Host(out / ("images\\disc" + std::to_string(n) + ".iso"));
        AnsiString back = out / ("back" + std::to_string(n));
        auto x = Tool("xorriso", { "-osirrox", "on", "-indev", iso, "-extract", "/", Host(back) });
        ASSERT_EQ(x.ExitCode, 0) << x.Err;
        ExpectSameTree(back, out / ("folders\\disc" + std::to_string(n)));

        auto d = Tool("isoinfo", { "-d", "-i", iso });
        ASSERT_EQ(d.ExitCode, 0) << d.Err;
        EXPECT_NE(d.Out.find("Volume id: DISC" + std::to_string(n) + "\n"), std::string::npos) << d.Out;
        EXPECT_NE(d.Out.find("Joliet with UCS level 3 found"), std::string::npos) << d.Out;
        EXPECT_NE(d.Out.find("Volume size is: " + std::to_string(platform::FileSize(out / ("images\\disc" + std::to_string(n) + ".iso")) / 2048)),
                  std::string::npos)
            << d.Out;
    }
    // The Japanese names through xorriso's own listing as UTF-8, the second
    // byte 0x5C of ソ and 表 no separator.
    auto ls = Tool("xorriso", { "-indev", Host(out / "images\\disc1.iso"), "-find", "/", "-exec", "lsdl" });
    ASSERT_EQ(ls.ExitCode, 0) << ls.Err;
    EXPECT_NE(ls.Out.find("'/セーブ.txt'"), std::string::npos) << ls.Out;
    EXPECT_NE(ls.Out.find("'/ソ/表示.txt'"), std::string::npos) << ls.Out;
    EXPECT_NE(ls.Out.find("'/" + std::string(103, 'n') + "'"), std::string::npos);

    // isoinfo's Joliet listing gives the names at full length with the sizes.
    auto joliet = Tool("isoinfo", { "-J", "-l", "-i", Host(out / "images\\disc1.iso") });
    ASSERT_EQ(joliet.ExitCode, 0) << joliet.Err;
    EXPECT_NE(joliet.Out.find("1300000 "), std::string::npos) << joliet.Out;
    EXPECT_NE(joliet.Out.find(" file number 59 of a long list.dat"), std::string::npos) << joliet.Out;
    EXPECT_NE(joliet.Out.find(" a_b.txt"), std::string::npos) << joliet.Out;

    // The primary tree: upper-case short names, unique in each folder, at most
    // 31 bytes before ";1"; the non-ASCII ones as CP932 bytes.
    auto primary = Tool("isoinfo", { "-l", "-i", Host(out / "images\\disc1.iso") });
    ASSERT_EQ(primary.ExitCode, 0) << primary.Err;
    std::map<std::string, std::set<std::string>> names;
    std::string folder;
    size_t files = 0;
    for (size_t at = 0; at < primary.Out.size();) {
        size_t end = primary.Out.find('\n', at);
        std::string line = primary.Out.substr(at, end - at);
        at = end == std::string::npos ? primary.Out.size() : end + 1;
        if (line.starts_with("Directory listing of "))
            folder = line.substr(21);
        size_t close = line.find("]  ");
        if (close == std::string::npos || line.ends_with(" . ") || line.ends_with(" .. "))
            continue;
        std::string name = line.substr(close + 3, line.size() - close - 4);
        EXPECT_TRUE(names[folder].insert(name).second) << folder << name;
        if (line[0] == 'd')
            continue;
        ++files;
        ASSERT_TRUE(name.ends_with(";1")) << name;
        EXPECT_LE(name.size(), 33u) << name;
        EXPECT_EQ(AnsiUpperCase(name), name);
    }
    EXPECT_EQ(files, test::TreeOf(out / "folders\\disc1").size());
    EXPECT_TRUE(names["/"].count("README.TXT;1"));
    EXPECT_TRUE(names["/"].count("EMPTY.BIN;1"));
    EXPECT_TRUE(names["/"].count("A_B.TXT;1") && names["/"].count("A_B_1.TXT;1"));
    EXPECT_TRUE(names["/"].count(S(u8"セーブ.TXT;1")));
    EXPECT_TRUE(names["/MANY/"].count("FILE_NUMBER_0_OF_A_LONG_LIS.DAT;1")) << primary.Out;
}
#endif

TEST_F(ImageTest, SameSourcesSameBytes)
{
    ASSERT_EQ(Build(out / "a", { "--image", "iso" }).ExitCode, 0);
    ASSERT_EQ(Build(out / "b", { "--image=iso" }).ExitCode, 0);
    EXPECT_TRUE(test::ReadFile(out / "a\\disc1.iso") == test::ReadFile(out / "b\\disc1.iso"));
}

// ---- raw sectors, checked with codes computed here in another way ----

uint32_t Edc(const uint8_t* p, size_t n)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (crc & 1 ? 0xD8018001u : 0);
    }
    return crc;
}

struct Field {
    uint8_t Exp[255], Log[256];
    Field()
    {
        unsigned v = 1;
        for (int i = 0; i < 255; ++i, v = v << 1 ^ (v & 0x80 ? 0x11D : 0))
            Exp[i] = static_cast<uint8_t>(v), Log[v] = static_cast<uint8_t>(i);
    }
    uint8_t Times(uint8_t x, int power) const { return x ? Exp[(Log[x] + power) % 255] : 0; }
};

// A code word is sound when its symbols sum to zero, and to zero again with
// the k-th of n weighted by α^(n-1-k): the two parity symbols of the P and Q
// codes are the only ones that make both hold.
bool Sound(const Field& f, const std::vector<uint8_t>& word)
{
    uint8_t s0 = 0, s1 = 0;
    for (size_t k = 0; k < word.size(); ++k)
        s0 ^= word[k], s1 ^= f.Times(word[k], static_cast<int>(word.size() - 1 - k));
    return s0 == 0 && s1 == 0;
}

// Bytes 12..2351 as words, low and high bytes coded apart: the P words are
// the 43 columns of 26 rows of 43 words, the Q words the 26 diagonals.
int BrokenCodeWords(const Field& f, const uint8_t* raw)
{
    int broken = 0;
    for (int plane = 0; plane < 2; ++plane) {
        auto at = [&](int n) { return raw[12 + 2 * n + plane]; };
        for (int c = 0; c < 43; ++c) {
            std::vector<uint8_t> word;
            for (int row = 0; row < 26; ++row)
                word.push_back(at(43 * row + c));
            broken += !Sound(f, word);
        }
        for (int d = 0; d < 26; ++d) {
            std::vector<uint8_t> word;
            for (int k = 0; k < 43; ++k)
                word.push_back(at((44 * k + 43 * d) % 1118));
            word.push_back(at(1118 + d));
            word.push_back(at(1144 + d));
            broken += !Sound(f, word);
        }
    }
    return broken;
}

TEST_F(ImageTest, CueSheetWithRawSectorsOfTheIsoImage)
{
    ASSERT_EQ(Build(out / "iso", { "--image", "iso" }).ExitCode, 0);
    auto r = Build(out / "cue", { "--image", "cue" });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::TreeOf(out / "cue"), (StringList { "disc1.bin", "disc1.cue", "disc2.bin", "disc2.cue" }));
    EXPECT_EQ(test::ReadFile(out / "cue\\disc1.cue"), "FILE \"disc1.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");

    std::string iso = test::ReadFile(out / "iso\\disc1.iso"), bin = test::ReadFile(out / "cue\\disc1.bin");
    ASSERT_EQ(bin.size() % 2352, 0u);
    ASSERT_EQ(bin.size() / 2352, iso.size() / 2048);
    const auto* raw = reinterpret_cast<const uint8_t*>(bin.data());

    // Sector 0 is the system area, all zeros: the sector worked by hand.
    // Header 00 02 00 01 (LBA 0 is 00:02:00). The EDC of sync, header and
    // 2048 zeros, CRC-32 over 0xD8018001 from 0: 2B6813C5, stored LE.
    EXPECT_EQ(test::ToHex(bin.substr(12, 4)), test::ToHex(test::Hex("00 02 00 01")));
    EXPECT_EQ(test::ToHex(bin.substr(2064, 12)), test::ToHex(test::Hex("c5 13 68 2b  00 00 00 00 00 00 00 00")));
    // P (the parities p of columns at 2076 + 2c + plane, q 86 bytes on): in
    // the high-byte plane the header's 02 is word 0 (column 0, row 0) and 01
    // word 1 (column 1). In GF(2^8) mod x^8+x^4+x^3+x^2+1, α^25 = 03 = 1+α.
    // Column 0: S0 = α, S1 = α^25·α = α(1+α), so p = (S0+S1)/(1+α) = α²/α^25
    // = α^232 = F7 and q = S0+p = F5. Column 1 is that over α: p = α^231 =
    // F5, q = 1+p = F4. The EDC is words 1026 and 1027, row 23 (weight α²)
    // of columns 37 and 38: for a lone v there p = v(1+α²)/(1+α) = v(1+α)
    // and q = vα; C5·α = 97 gives p = 52, q = 97; 13 → 35, 26; 68 → B8, D0;
    // 2B → 7D, 56. Every other P byte is 0.
    std::string p(172, '\0');
    p[1] = '\xF7', p[3] = '\xF5', p[86 + 1] = '\xF5', p[86 + 3] = '\xF4';
    const char edcP[] = "\x52\x35\xB8\x7D", edcQ[] = "\x97\x26\xD0\x56";
    p.replace(74, 4, edcP, 4);
    p.replace(86 + 74, 4, edcQ, 4);
    EXPECT_EQ(test::ToHex(bin.substr(2076, 172)), test::ToHex(p));

    Field f;
    for (size_t lba = 0; lba < bin.size() / 2352; ++lba) {
        SCOPED_TRACE(lba);
        const uint8_t* s = raw + lba * 2352;
        ASSERT_EQ(test::ToHex(bin.substr(lba * 2352, 12)), test::ToHex(test::Hex("00 ff ff ff ff ff ff ff ff ff ff 00")));
        size_t frames = lba + 150;
        auto bcd = [](size_t v) { return static_cast<uint8_t>(v / 10 * 16 + v % 10); };
        ASSERT_EQ(s[12], bcd(frames / 4500));
        ASSERT_EQ(s[13], bcd(frames / 75 % 60));
        ASSERT_EQ(s[14], bcd(frames % 75));
        ASSERT_EQ(s[15], 1);
        ASSERT_TRUE(bin.compare(lba * 2352 + 16, 2048, iso, lba * 2048, 2048) == 0);
        uint32_t edc = Edc(s, 2064);
        ASSERT_EQ(s[2064] | s[2065] << 8 | s[2066] << 16 | static_cast<uint32_t>(s[2067]) << 24, edc);
        ASSERT_EQ(bin.substr(lba * 2352 + 2068, 8), std::string(8, '\0'));
        ASSERT_EQ(BrokenCodeWords(f, s), 0);
    }
    // The check finds a single wrong byte.
    std::string damaged = bin.substr(16 * 2352, 2352);
    damaged[100] ^= 0x40;
    EXPECT_EQ(BrokenCodeWords(f, reinterpret_cast<const uint8_t*>(damaged.data())), 2);
}

TEST_F(ImageTest, WhatAnImageCannotHoldWritesNothing)
{
    // A name of 104 characters.
    test::WriteFile(src / ("d\\" + std::string(104, 'x')), "x");
    auto r = Build(out / "set", { "--image", "iso" });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("the name has 104 characters; Joliet holds at most 103"), std::string::npos) << r.Err;
    EXPECT_FALSE(platform::DirectoryExists(out / "set"));
    EXPECT_FALSE(platform::DirectoryExists(out / "set.mkdisc-work"));
    platform::RemoveFile(src / ("d\\" + std::string(104, 'x')));

    // A file of 4 GiB (sparse: nothing is copied before it is refused).
    ASSERT_EQ(Build(out / "set", { "--image", "cue" }).ExitCode, 0);
    std::string before = test::ReadFile(out / "set\\disc2.bin");
    {
        auto huge = platform::File::Open(src / "d\\huge.bin", platform::File::Mode::Create);
        ASSERT_TRUE(huge && huge->SetSize(int64_t(1) << 32));
    }
    r = Build(out / "set", { "--image", "cue" });
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("4294967296 bytes; a file on an image holds at most 4 GiB - 1"), std::string::npos) << r.Err;
    EXPECT_EQ(test::ReadFile(out / "set\\disc2.bin"), before);
    platform::RemoveFile(src / "d\\huge.bin");

    // An image set gives way to folders and back; a stray image name does not.
    ASSERT_EQ(Build(out / "set").ExitCode, 0);
    EXPECT_TRUE(platform::FileExists(out / "set\\disc1\\readme.txt"));
    ASSERT_EQ(Build(out / "set", { "--image", "iso" }).ExitCode, 0);
    EXPECT_EQ(test::TreeOf(out / "set"), (StringList { "disc1.iso", "disc2.iso" }));
    test::WriteFile(out / "set\\backup.iso", "mine");
    EXPECT_EQ(Build(out / "set", { "--image", "iso" }).ExitCode, 1);
    EXPECT_EQ(test::ReadFile(out / "set\\backup.iso"), "mine");

    for (const char* bad : { "--image=udf", "--image" }) {
        auto usage = Build(out / "other", { bad });
        EXPECT_EQ(usage.ExitCode, 2) << bad << usage.Err;
        EXPECT_FALSE(platform::DirectoryExists(out / "other"));
    }
}

} // namespace
