// mkdisc through the built tool: disc sets from manifests, the sizes an
// installation will copy, and manifests that must leave nothing behind.
#include "archive/big_stream.h"
#include "archive/vr_files.h"
#include "base/codepage.h"
#include "base/path.h"
#include "common/tool_json.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/gale.h"
#include "graphics/png_file.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;
using tarn::tools::Json;

namespace {

platform::ProcessResult Mkdisc(const std::vector<std::string>& args)
{
    return platform::RunProcess(test::ProgramPath("mkdisc"), args);
}

std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

uint32_t PicturePixel(int x, int y) { return static_cast<uint32_t>(x | y << 8 | 0x300000); }

void DrawPicture(TDIBSurface& s)
{
    s.Resize(40, 30, 24);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            s.SetPixel(x, y, PicturePixel(x, y));
}

std::string PictureBmp()
{
    TDIBSurface s;
    DrawPicture(s);
    return EncodeBitmap(s);
}

TTarnInstallSet Load(const AnsiString& path)
{
    TTarnInstallSet d;
    d.LoadFromFile(path);
    return d;
}

std::vector<int32_t> List(std::span<const int32_t> s) { return { s.begin(), s.end() }; }

Json Parse(const char* text) { return Json::parse(text); }

// A source tree whose file sizes are known, and a manifest for two discs.
class MkdiscTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto put = [&](const char* rel, std::string_view bytes) {
            AnsiString path = src / rel;
            platform::ForceDirectories(ExcludeTrailingBackslash(ExtractFilePath(path)));
            test::WriteFile(path, bytes);
        };
        put("d1\\readme.txt", "0123456789");        // program 10
        put("d1\\bgm\\a.MP3", "1234567");           // sound 7
        put("d1\\movie\\op.mpeg", "12345");         // movie 5
        put("d1\\extra.12x", "abc");                // no piece: program 3
        put("d1\\save.dat", "SAVE");                // never copied
        put("d1\\voice.mp", "vv");                  // sound 2
        put("setup.bin", std::string(100, 'x'));    // under DirectX\: never copied
        put("game.bin", std::string(20, 'g'));      // program 20 as game.exe
        put("d2\\voice\\v.wav", std::string(11, 'v')); // sound 11
        put("d2\\clip.mpe", "123456");              // movie 6
        put("d2\\notes.txt", std::string(13, 'n')); // program 13
        put("data1\\scenario\\a.txt", "hello");
        put("data1\\graphics\\b.ppm", "P3 1 1 255 0 0 0");
        put("data2\\x.txt", "second disc");
        test::WriteFile(src / "title.bmp", PictureBmp());
        manifest = Parse(R"({
          "install": { "Title": "テスト", "GameExe": "game.exe", "MediaName": "CD-ROM", "SetupButtons": 1 },
          "title_image": { "src": "title.bmp", "name": "title.gal", "seed": 777, "version": 102 },
          "discs": [
            { "files": [ { "src": "d1" }, { "src": "game.bin", "dest": "game.exe" },
                         { "src": "setup.bin", "dest": "DirectX\\dxsetup.exe" } ],
              "archive": [ { "src": "data1/scenario", "name": "scenario\\" },
                           { "src": "data1/graphics/b.ppm", "name": "graphics\\", "stored": true } ] },
            { "install": { "MediaName": "DVD" },
              "files": [ { "src": "d2" } ],
              "archive": [ { "src": "data2" } ] } ] })");
    }

    platform::ProcessResult Build(const Json& m, std::vector<std::string> extra = {})
    {
        test::WriteFile(src / "manifest.json", m.dump(2));
        std::vector<std::string> args = { Host(src / "manifest.json"), "-o", Host(Out()) };
        args.insert(args.end(), extra.begin(), extra.end());
        return Mkdisc(args);
    }
    AnsiString Out() const { return out / "set"; }
    AnsiString Disc(int n) const { return Out() + "\\disc" + IntToStr(n) + "\\"; }

    // A copy of the manifest with one value replaced: path is a list of keys
    // and array indices.
    static Json With(Json m, std::initializer_list<std::variant<const char*, size_t>> path, Json value)
    {
        Json* at = &m;
        for (auto step : path) {
            if (std::holds_alternative<size_t>(step)) {
                at = &(*at)[std::get<size_t>(step)];
            } else {
                at = &(*at)[std::get<const char*>(step)];
            }
        }
        *at = std::move(value);
        return m;
    }

    TempDir src, out;
    Json manifest;
};

TEST_F(MkdiscTest, TwoDiscsWithTheSizesAnInstallationCopies)
{
    auto r = Build(manifest);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("disc1"), std::string::npos) << r.Out;

    // The files, where the manifest puts them.
    EXPECT_EQ(test::ReadFile(Disc(1) + "game.exe"), std::string(20, 'g'));
    EXPECT_EQ(test::ReadFile(Disc(1) + "bgm\\a.MP3"), "1234567");
    EXPECT_TRUE(platform::FileExists(Disc(1) + "DirectX\\dxsetup.exe"));
    EXPECT_TRUE(platform::FileExists(Disc(1) + "save.dat"));
    EXPECT_TRUE(platform::FileExists(Disc(2) + "voice\\v.wav"));
    EXPECT_FALSE(platform::FileExists(Disc(2) + "game.exe"));
    EXPECT_FALSE(platform::DirectoryExists(Out() + "\\disc3"));

    const int32_t data1 = static_cast<int32_t>(platform::FileSize(Disc(1) + "game.dat"));
    const int32_t data2 = static_cast<int32_t>(platform::FileSize(Disc(2) + "game.dat"));
    ASSERT_GT(data1, 0);
    ASSERT_GT(data2, 0);
    for (int n : { 1, 2 }) {
        SCOPED_TRACE(n);
        TTarnInstallSet d = Load(Disc(n) + "install.dat");
        EXPECT_EQ(d.DiscIndex, n - 1);
        EXPECT_EQ(d.DiscCount(), 2);
        EXPECT_EQ(d.Title, S(u8"テスト"));
        EXPECT_EQ(d.MediaName, n == 1 ? "CD-ROM" : "DVD");
        // The picture's name and seed fill in the description's.
        EXPECT_EQ(d.TitleImage, "title.gal");
        EXPECT_EQ(d.ImageSeed, 777);
        // readme 10 + extra.12x 3 + game.exe 20; notes 13.
        EXPECT_EQ(List(d.ProgramSizes()), (std::vector<int32_t>{ 33, 13 }));
        // a.MP3 7 + voice.mp 2; v.wav 11.
        EXPECT_EQ(List(d.SoundSizes()), (std::vector<int32_t>{ 9, 11 }));
        // op.mpeg 5; clip.mpe 6.
        EXPECT_EQ(List(d.MovieSizes()), (std::vector<int32_t>{ 5, 6 }));
        EXPECT_EQ(List(d.DataSizes()), (std::vector<int32_t>{ data1, data2 }));
        EXPECT_EQ(d.ProgramTotal, 46);
        EXPECT_EQ(d.SoundTotal, 20);
        EXPECT_EQ(d.MovieTotal, 11);
        EXPECT_EQ(d.DataTotal, data1 + data2);
        EXPECT_EQ(d.Installed, 0);
    }

    // Each archive: the title picture first, then the disc's own entries.
    TVrFileCollection a;
    a.Open(Disc(1) + "game.dat");
    ASSERT_EQ(a.Count(), 4); // with the end marker
    EXPECT_EQ(a.Items(0).Name(), "title.gal");
    EXPECT_EQ(a.Items(1).Name(), "scenario\\a.txt");
    EXPECT_EQ(a.Items(2).Name(), "graphics\\b.ppm");
    EXPECT_EQ(a.Items(1).Stored, 0);
    EXPECT_NE(a.Items(2).Stored, 0);
    TMemoryStream m;
    a.LoadEntry(m, "scenario\\a.txt");
    EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "hello");
    for (int n : { 1, 2 }) {
        TVrFileCollection disc;
        disc.Open(Disc(n) + "game.dat");
        disc.LoadEntry(m, "title.gal");
        TGaleFrameList frames(777);
        frames.LoadFromStream(m, true);
        ASSERT_EQ(frames.Count(), 1);
        const TDIBSurface& pic = frames.Frames(0).Surface;
        ASSERT_EQ(pic.Width(), 40);
        ASSERT_EQ(pic.Height(), 30);
        for (int y = 0; y < 30; y += 7)
            for (int x = 0; x < 40; x += 9)
                EXPECT_EQ(pic.Pixel(x, y), PicturePixel(x, y)) << x << "," << y;
    }
    TVrFileCollection second;
    second.Open(Disc(2) + "game.dat");
    ASSERT_EQ(second.Count(), 3);
    EXPECT_EQ(second.Items(1).Name(), "x.txt");
}

TEST_F(MkdiscTest, GivenSizesAndTotalsAreKept)
{
    Json m = With(manifest, { "install", "SoundSizes" }, Parse("[1, 2]"));
    m = With(m, { "install", "MovieTotal" }, Json(99));
    // A disc's own list is its own.
    m = With(m, { "discs", size_t(1), "install", "ProgramSizes" }, Parse("[7, 8]"));
    auto r = Build(m);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TTarnInstallSet d1 = Load(Disc(1) + "install.dat"), d2 = Load(Disc(2) + "install.dat");
    EXPECT_EQ(List(d1.SoundSizes()), (std::vector<int32_t>{ 1, 2 }));
    EXPECT_EQ(d1.SoundTotal, 3);
    EXPECT_EQ(List(d1.MovieSizes()), (std::vector<int32_t>{ 5, 6 }));
    EXPECT_EQ(d1.MovieTotal, 99);
    EXPECT_EQ(List(d1.ProgramSizes()), (std::vector<int32_t>{ 33, 13 }));
    EXPECT_EQ(List(d2.ProgramSizes()), (std::vector<int32_t>{ 7, 8 }));
    EXPECT_EQ(d2.ProgramTotal, 15);
}

TEST_F(MkdiscTest, DataIsTheArchiveWithItsPieces)
{
    // Incompressible entries, stored, in pieces of 256 bytes.
    std::string noise;
    uint32_t state = 1;
    for (int i = 0; i < 900; ++i)
        noise += static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    test::WriteFile(src / "data1\\graphics\\noise.bin", noise);
    Json m = With(manifest, { "piece_size" }, Json(256));
    auto r = Build(m);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    int64_t pieces = 0;
    int count = 0;
    for (int i = 0;; ++i, ++count) {
        AnsiString piece = TTpBigFileStream::PieceNameOf(Disc(1) + "game.dat", i);
        if (!platform::FileExists(piece))
            break;
        pieces += platform::FileSize(piece);
    }
    EXPECT_GE(count, 4);
    TTarnInstallSet d = Load(Disc(1) + "install.dat");
    EXPECT_EQ(d.DataSizes()[0], pieces);
    // The pieces are no program files.
    EXPECT_EQ(d.ProgramSizes()[0], 33);
}

TEST_F(MkdiscTest, DefinesAndPlacesOnTheDisc)
{
    TempDir elsewhere;
    test::WriteFile(elsewhere / "prog", "PROGRAM");
    test::WriteFile(elsewhere / "image.bmp", PictureBmp());
    Json m = With(manifest, { "title_image", "src" }, Json("${pic}"));
    m = With(m, { "discs", size_t(1), "files" },
             Parse(R"([ { "src": "${bin}/prog", "dest": "tools\\" }, { "src": "${bin}/prog", "dest": "run/me.exe" },
                       { "src": "${bin}/prog", "dest": "ソ/表" } ])"));
    auto r = Build(m, { "--define", "bin=" + Host(elsewhere.Path()), "-Dpic=" + Host(elsewhere / "image.bmp") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::ReadFile(Disc(2) + "tools\\prog"), "PROGRAM");
    EXPECT_EQ(test::ReadFile(Disc(2) + "run\\me.exe"), "PROGRAM");
    // Both characters end in the byte of a backslash; neither is a separator.
    EXPECT_EQ(test::ReadFile(Disc(2) + S(u8"ソ\\表")), "PROGRAM");
    EXPECT_EQ(Load(Disc(2) + "install.dat").ProgramSizes()[1], 21);
}

TEST_F(MkdiscTest, OptionsInEitherFormAndTheLastOneCounts)
{
    TempDir elsewhere, other;
    test::WriteFile(elsewhere / "prog", "PROGRAM");
    Json m = With(manifest, { "discs", size_t(1), "files" }, Parse(R"([ { "src": "${bin}/prog" } ])"));
    auto r = Build(m, { "--define=bin=" + Host(other.Path()), "--define=bin=" + Host(elsewhere.Path()), "--output=" + Host(other / "set") });
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(test::ReadFile(other / "set\\disc2\\prog"), "PROGRAM");
    EXPECT_FALSE(platform::DirectoryExists(Out()));
}

TEST_F(MkdiscTest, AnEarlierDiscSetIsReplacedAndNothingElse)
{
    ASSERT_EQ(Build(manifest).ExitCode, 0);
    test::WriteFile(Disc(1) + "stale.txt", "old");
    platform::ForceDirectories(Out() + "\\disc7");
    auto again = Build(manifest);
    ASSERT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_FALSE(platform::FileExists(Disc(1) + "stale.txt"));
    EXPECT_FALSE(platform::DirectoryExists(Out() + "\\disc7"));
    EXPECT_TRUE(platform::FileExists(Disc(2) + "install.dat"));

    // A directory of other things is never replaced.
    test::WriteFile(Out() + "\\notes.txt", "mine");
    auto refused = Build(manifest);
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Err.find("notes.txt"), std::string::npos) << refused.Err;
    EXPECT_EQ(test::ReadFile(Out() + "\\notes.txt"), "mine");
    EXPECT_TRUE(platform::FileExists(Disc(1) + "install.dat"));
    // Nor a file.
    TempDir other;
    test::WriteFile(other / "file", "x");
    test::WriteFile(src / "manifest.json", manifest.dump());
    auto file = Mkdisc({ Host(src / "manifest.json"), "-o", Host(other / "file") });
    EXPECT_EQ(file.ExitCode, 1);
    EXPECT_EQ(test::ReadFile(other / "file"), "x");
}

TEST_F(MkdiscTest, BadManifestsWriteNothing)
{
    struct Case {
        Json manifest;
        const char* message;
    };
    test::WriteFile(src / "not-a-picture.bmp", "GIF89a");
    // A name that CP932 cannot hold (é) among the sources.
    platform::ForceDirectories(src / "odd");
    test::WriteFile(src / "odd\\" + HostUtf8ToAnsi("caf\xC3\xA9.txt", true), "x");
    Json badName = With(manifest, { "discs", size_t(1), "files" }, Parse(R"([ { "src": "odd" } ])"));
    Case cases[] = {
        { With(manifest, { "extra" }, Json(1)), "unknown key: extra" },
        { With(manifest, { "install", "Titel" }, Json("x")), "install: unknown key: Titel" },
        { With(manifest, { "discs", size_t(0), "files", size_t(0) }, Parse(R"({ "src": "d1", "dst": "x" })")), "unknown key: dst" },
        { With(manifest, { "discs", size_t(0), "archive", size_t(0), "src" }, Json("missing")), "no such file or folder" },
        { With(manifest, { "title_image", "src" }, Json("missing.png")), "no such file" },
        { With(manifest, { "title_image", "src" }, Json("not-a-picture.bmp")), "not a PNG or BMP picture" },
        { With(manifest, { "title_image", "src" }, Json("${nowhere}/x.png")), "${nowhere} is not defined" },
        { With(manifest, { "install", "Title" }, Json("caf\xC3\xA9")), "CP932 cannot hold" },
        { With(manifest, { "discs", size_t(1), "files", size_t(0), "dest" }, Json("..\\up")), "'.' and '..'" },
        { With(manifest, { "discs", size_t(1), "files", size_t(0), "dest" }, Json("C:\\x")), "without a drive" },
        { With(manifest, { "discs", size_t(0), "files", size_t(1), "dest" }, Json("GAME.DAT")), "made by mkdisc" },
        { With(manifest, { "discs", size_t(0), "files", size_t(1), "dest" }, Json("game.001")), "made by mkdisc" },
        { With(manifest, { "discs", size_t(0), "files", size_t(1), "dest" }, Json("README.TXT")), "on the disc twice" },
        { With(manifest, { "discs", size_t(0), "archive", size_t(1), "name" }, Json("Scenario\\A.txt")), "in the archive twice" },
        { With(manifest, { "discs", size_t(0), "archive", size_t(1), "name" }, Json("title.gal")), "in the archive twice" },
        { With(manifest, { "install", "DiscCount" }, Json(3)), "DiscCount" },
        { With(manifest, { "install", "DiscIndex" }, Json(0)), "DiscIndex is set by mkdisc" },
        { With(manifest, { "discs", size_t(1), "install", "DiscIndex" }, Json(0)), "DiscIndex is set by mkdisc" },
        { With(manifest, { "install", "ProgramSizes" }, Parse("[1]")), "expected an array of DiscCount (2) numbers" },
        { With(manifest, { "install", "ImageSeed" }, Json(5)), "differs" },
        { With(manifest, { "discs", size_t(1), "install", "ImageSeed" }, Json(5)), "differs" },
        { With(manifest, { "discs" }, Json::array()), "at least one disc" },
        { With(manifest, { "title_image", "tile" }, Parse("[64]")), "[width, height]" },
        { With(manifest, { "discs", size_t(0), "archive", size_t(1), "stored" }, Json("yes")), "true or false" },
        { badName, "CP932 cannot hold" },
        // Found only while the discs are written: a file where a folder must be.
        { With(manifest, { "discs", size_t(1), "files" },
               Parse(R"([ { "src": "game.bin", "dest": "a" }, { "src": "game.bin", "dest": "a\\b" } ])")),
          "cannot copy" },
    };
    for (const Case& c : cases) {
        auto r = Build(c.manifest);
        EXPECT_EQ(r.ExitCode, 1) << c.message << "\n" << r.Err;
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
        EXPECT_TRUE(r.Err.starts_with("mkdisc: ")) << r.Err;
        EXPECT_FALSE(platform::DirectoryExists(Out())) << c.message;
        EXPECT_FALSE(platform::DirectoryExists(Out() + ".mkdisc-work")) << c.message;
    }
    // Not JSON at all, or JSON no manifest may be.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "{\"discs\": [";
    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>> {
             { "{ \"discs\": [ }", "manifest.json: JSON: " },
             { deep, "manifest.json: JSON: nested deeper than 256 levels" },
             { "{ \"discs\": [ {} ], \"discs\": [ {}, {} ] }", "manifest.json: JSON: duplicate key \"discs\"" },
             { "{ \"discs\": [ {} ], \"piece_size\": 1e999 }", "manifest.json: JSON: number overflow" },
             { "{ \"discs\": [ {} ], \"piece_size\": \"4096\" }", "piece_size: expected an integer in 1..1099511627776, got \"4096\"" },
             { "{ \"discs\": [ {} ], \"piece_size\": 18446744073709551615 }", "piece_size: expected an integer" },
             { "{ \"discs\": [ {} ], \"title_image\": { \"src\": \"title.bmp\", \"tile\": [16.5, 16] } }", "tile: expected an integer" },
         }) {
        test::WriteFile(src / "manifest.json", text);
        auto r = Mkdisc({ Host(src / "manifest.json"), "-o", Host(Out()) });
        EXPECT_EQ(r.ExitCode, 1) << text.substr(0, 60);
        EXPECT_NE(r.Err.find(message), std::string::npos) << r.Err;
        EXPECT_FALSE(platform::DirectoryExists(Out()));
    }

    // A failure leaves an earlier disc set as it was.
    ASSERT_EQ(Build(manifest).ExitCode, 0);
    std::string before = test::ReadFile(Disc(1) + "install.dat");
    EXPECT_EQ(Build(cases[3].manifest).ExitCode, 1);
    EXPECT_EQ(Build(std::end(cases)[-1].manifest).ExitCode, 1);
    EXPECT_EQ(test::ReadFile(Disc(1) + "install.dat"), before);
    EXPECT_FALSE(platform::DirectoryExists(Out() + ".mkdisc-work"));
}

TEST_F(MkdiscTest, PngTitlePictures)
{
    TDIBSurface picture;
    DrawPicture(picture);
    if (!PngAvailable()) {
        // This build refuses PNG with a message that says what to do.
        test::WriteFile(src / "title.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\0'));
        auto r = Build(With(manifest, { "title_image", "src" }, Json("title.png")));
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_NE(r.Err.find("cannot read PNG pictures; give a BMP picture"), std::string::npos) << r.Err;
        EXPECT_FALSE(platform::DirectoryExists(Out()));
        return;
    }
    test::WriteFile(src / "title.png", EncodePng(picture));
    Json m = With(manifest, { "title_image" }, Parse(R"({ "src": "title.png", "version": 103, "scramble": true, "tile": [16, 16] })"));
    m = With(m, { "install", "TitleImage" }, Json("system\\title.gal"));
    m = With(m, { "install", "ImageSeed" }, Json(-5));
    auto r = Build(m);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TVrFileCollection a;
    a.Open(Disc(2) + "game.dat");
    TMemoryStream stream;
    a.LoadEntry(stream, "system\\title.gal");
    TGaleFrameList frames(-5);
    frames.LoadFromStream(stream, true);
    ASSERT_EQ(frames.Count(), 1);
    EXPECT_TRUE(frames.Scrambled);
    EXPECT_EQ(frames.TileWidth, 16);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(frames.Frames(0).Surface.Pixel(x, y), PicturePixel(x, y)) << x << "," << y;
}

TEST(Mkdisc, Usage)
{
    auto help = Mkdisc({ "--help" });
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("Usage: mkdisc MANIFEST.json -o DIR"), std::string::npos);
    auto version = Mkdisc({ "--version" });
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_TRUE(version.Out.starts_with("mkdisc ")) << version.Out;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, { "m.json" }, { "m.json", "-o" }, { "m.json", "-o", "x", "--frobnicate" }, { "a.json", "b.json", "-o", "x" },
             { "m.json", "-o", "x", "--define", "novalue" }, { "m.json", "-o", "x", "--define" }, { "m.json", "--output=" },
             { "m.json", "-o", "x", "-D=x" } }) {
        auto r = Mkdisc(args);
        EXPECT_EQ(r.ExitCode, 2) << r.Err;
        EXPECT_NE(r.Err.find("--help"), std::string::npos) << r.Err;
    }
    TempDir dir;
    auto missing = Mkdisc({ Host(dir / "none.json"), "-o", Host(dir / "out") });
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Err.find("none.json: no such file"), std::string::npos) << missing.Err;
}

} // namespace
