// Sector sources: every container assembled here from sectors that tell
// their number, read back through OpenSectorSource; damaged and hostile
// ones refused with EMediaError; a loop device read as a drive.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <cstdlib>
#include <thread>

#include "base/codepage.h"
#include "media/sector_source.h"
#include "platform/platform.h"
#include "raw_image_builder.h"
#include "support/test_support.h"

namespace tarn::mediatest {
namespace {

using media::EMediaError;
using media::OpenSectorSource;
using media::SectorSource;
using test::TempDir;
using test::WriteFile;

// Reads every sector of the data track in requests of `run` sectors and
// compares each with UserData.
void ExpectAllSectors(SectorSource& source, int64_t run = 7)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(run * 2048));
    for (int64_t first = 0; first < source.SectorCount(); first += run) {
        int64_t n = std::min(run, source.SectorCount() - first);
        source.ReadSectors(first, n, buffer.data());
        for (int64_t i = 0; i < n; ++i)
            ASSERT_EQ(std::string(reinterpret_cast<char*>(buffer.data() + i * 2048), 2048), UserData(first + i))
                << "sector " << first + i;
    }
}

const media::TrackInfo& DataTrack(SectorSource& s) { return s.Info().Tracks[s.Info().DataTrack]; }

// ---- the builder's own checks ----

TEST(RawImageBuilder, EdcIsTheCdRomCrc)
{
    // A CRC without final inversion leaves 0 over its message followed by
    // its value (little-endian, as the reflected form is stored).
    std::string s = StoredSector(SectorFormat::Mode1Raw, 0, UserData(3));
    EXPECT_EQ(CdEdc(std::string_view(s).substr(0, 2068)), 0u);
    std::string m2 = StoredSector(SectorFormat::Mode2Raw, 0, UserData(3));
    EXPECT_EQ(CdEdc(std::string_view(m2).substr(16, 2060)), 0u);
    // The table agrees with the polynomial applied bit by bit.
    uint32_t bitwise = 0;
    for (unsigned char c : std::string("123456789")) {
        bitwise ^= c;
        for (int k = 0; k < 8; ++k)
            bitwise = (bitwise >> 1) ^ ((bitwise & 1) ? 0xD8018001u : 0);
    }
    EXPECT_EQ(CdEdc("123456789"), bitwise);
    // Header of address 0: 00:02:00 (150 frames), mode 1.
    EXPECT_EQ(test::ToHex(s.substr(0, 16)), test::ToHex(test::Hex("00 FF FF FF FF FF FF FF FF FF FF 00 00 02 00 01")));
    // Address 4500 - 150 + 74 = 4424: 01:00:74 in BCD.
    EXPECT_EQ(test::ToHex(StoredSector(SectorFormat::Mode1Raw, 4424, UserData(0)).substr(12, 4)),
              test::ToHex(test::Hex("01 00 74 01")));
}

// ---- plain images ----

struct PlainCase {
    SectorFormat format;
    const char* name;
    const char* container;
};

class PlainImage : public ::testing::TestWithParam<PlainCase> { };

TEST_P(PlainImage, ReadsEverySector)
{
    TempDir dir;
    auto c = GetParam();
    WriteFile(dir / c.name, Track(c.format, 0, 40));
    auto source = OpenSectorSource(dir / c.name);
    EXPECT_EQ(source->Info().Container, c.container);
    EXPECT_EQ(source->SectorCount(), 40);
    EXPECT_EQ(DataTrack(*source).Format, c.format);
    ExpectAllSectors(*source);
    ExpectAllSectors(*source, 40);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlainImage,
                         ::testing::Values(PlainCase{ SectorFormat::Cooked2048, "a.iso", "iso" },
                                           PlainCase{ SectorFormat::Mode1Raw, "a.bin", "raw" },
                                           PlainCase{ SectorFormat::Mode2Raw, "a.img", "raw" },
                                           PlainCase{ SectorFormat::Mode2Cooked, "a.bin", "raw" },
                                           PlainCase{ SectorFormat::Mode1Raw, "A.MDF", "raw" },
                                           PlainCase{ SectorFormat::Cooked2048, "noext", "iso" }));

TEST(PlainImage, TrailingPartialSectorIsLeftOut)
{
    TempDir dir;
    WriteFile(dir / "a.bin", Track(SectorFormat::Mode1Raw, 0, 40) + std::string(1000, 'x'));
    auto source = OpenSectorSource(dir / "a.bin");
    EXPECT_EQ(source->SectorCount(), 40);
    ExpectAllSectors(*source);
}

TEST(PlainImage, WithoutVolumeDescriptorIsRefused)
{
    TempDir dir;
    WriteFile(dir / "a.iso", std::string(40 * 2048, '\0'));
    WriteFile(dir / "tiny.bin", "abc");
    for (const char* name : { "a.iso", "tiny.bin", "missing.iso" }) {
        try {
            OpenSectorSource(dir / name);
            ADD_FAILURE() << name;
        } catch (const EMediaError& e) {
            EXPECT_NE(e.Message().find(name), std::string::npos) << e.Message();
        }
    }
}

TEST(PlainImage, SectorsOutsideTheTrackAreRefused)
{
    TempDir dir;
    WriteFile(dir / "a.bin", Track(SectorFormat::Mode1Raw, 0, 40));
    auto source = OpenSectorSource(dir / "a.bin");
    std::vector<uint8_t> buffer(2 * 2048);
    EXPECT_THROW(source->ReadSectors(40, 1, buffer.data()), EMediaError);
    EXPECT_THROW(source->ReadSectors(39, 2, buffer.data()), EMediaError);
    EXPECT_THROW(source->ReadSectors(-1, 1, buffer.data()), EMediaError);
    EXPECT_THROW(source->ReadSectors(1, INT64_MAX, buffer.data()), EMediaError);
    EXPECT_THROW(source->ReadSectors(0, -1, buffer.data()), EMediaError);
    source->ReadSectors(40, 0, buffer.data());
    source->ReadSectors(39, 1, buffer.data());
}

TEST(PlainImage, FileThatShrinksAfterOpeningRaisesOnRead)
{
    TempDir dir;
    WriteFile(dir / "a.iso", Track(SectorFormat::Cooked2048, 0, 40));
    auto source = OpenSectorSource(dir / "a.iso");
    WriteFile(dir / "a.iso", Track(SectorFormat::Cooked2048, 0, 20));
    std::vector<uint8_t> buffer(2048 * 10);
    source->ReadSectors(10, 10, buffer.data());
    EXPECT_THROW(source->ReadSectors(15, 10, buffer.data()), EMediaError);
}

TEST(PlainImage, ThreadsReadSideBySide)
{
    TempDir dir;
    WriteFile(dir / "m1.bin", Track(SectorFormat::Mode1Raw, 0, 600));
    WriteFile(dir / "c.iso", Track(SectorFormat::Cooked2048, 0, 600));
    for (const char* name : { "m1.bin", "c.iso" }) {
        auto source = OpenSectorSource(dir / name);
        std::vector<std::thread> threads;
        std::atomic<int> bad{ 0 };
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                std::vector<uint8_t> buffer(300 * 2048);
                for (int round = 0; round < 20; ++round) {
                    int64_t first = (t * 37 + round * 53) % 300, count = 1 + (t * 91 + round * 17) % 300;
                    source->ReadSectors(first, count, buffer.data());
                    for (int64_t i = 0; i < count; ++i)
                        if (std::memcmp(buffer.data() + i * 2048, UserData(first + i).data(), 2048) != 0)
                            ++bad;
                }
            });
        for (auto& th : threads)
            th.join();
        EXPECT_EQ(bad, 0) << name;
    }
}

TEST(PlainImage, TruncatedAtManyPointsIsRefusedOrReadCorrectly)
{
    TempDir dir;
    for (SectorFormat f : { SectorFormat::Cooked2048, SectorFormat::Mode1Raw, SectorFormat::Mode2Raw }) {
        std::string whole = Track(f, 0, 40);
        for (int cut = 0; cut < 20; ++cut) {
            size_t size = whole.size() * cut / 20 + cut * 13 % 7;
            WriteFile(dir / "t.bin", whole.substr(0, size));
            try {
                auto source = OpenSectorSource(dir / "t.bin");
                EXPECT_EQ(source->SectorCount(), static_cast<int64_t>(size / StoredBytes(f)));
                ExpectAllSectors(*source);
            } catch (const EMediaError&) {
                EXPECT_LT(size, 17u * StoredBytes(f)) << "cut " << cut; // no volume descriptor left
            }
        }
    }
}

// ---- cue sheets ----

TEST(CueSheet, EachModeOfASingleTrack)
{
    TempDir dir;
    struct {
        const char* mode;
        SectorFormat format;
    } modes[] = { { "MODE1/2048", SectorFormat::Cooked2048 },
                  { "MODE1/2352", SectorFormat::Mode1Raw },
                  { "MODE2/2352", SectorFormat::Mode2Raw },
                  { "MODE2/2336", SectorFormat::Mode2Cooked } };
    for (auto& m : modes) {
        WriteFile(dir / "disc image.bin", Track(m.format, 0, 40));
        // BOM, CRLF, lower-case keywords, lines to ignore
        WriteFile(dir / "a.cue", std::string("\xEF\xBB\xBF") + "REM made by hand\r\nCATALOG 0000000000000\r\n"
                                     "PERFORMER \"x\"\r\nTITLE \"y\"\r\nfile \"disc image.bin\" binary\r\n"
                                     "  track 01 " + m.mode + "\r\n    FLAGS DCP\r\n    ISRC ABCDE1234567\r\n"
                                     "    index 01 00:00:00\r\n");
        auto source = OpenSectorSource(dir / "a.cue");
        EXPECT_EQ(source->Info().Container, "cue");
        EXPECT_EQ(DataTrack(*source).Format, m.format) << m.mode;
        EXPECT_EQ(source->SectorCount(), 40) << m.mode;
        EXPECT_EQ(DataTrack(*source).File, dir / "disc image.bin");
        ExpectAllSectors(*source);
    }
}

TEST(CueSheet, OneFileWithAudioFirst)
{
    // Track 1: 300 sectors of sound up to track 2's INDEX 00 at 00:04:00
    // (4 * 75 = 300); track 2's pregap (150 sectors, in the file) then its
    // INDEX 01 at 00:06:00 = 450 frames. Every sector is 2352 bytes, so the
    // data starts at 450 * 2352 = 1058400 and at disc address 450.
    TempDir dir;
    WriteFile(dir / "disc.bin", Track(SectorFormat::Audio, 0, 450) + Track(SectorFormat::Mode1Raw, 450, 40));
    WriteFile(dir / "disc.cue", "FILE disc.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                "TRACK 02 MODE1/2352\nINDEX 00 00:04:00\nINDEX 01 00:06:00\n");
    auto source = OpenSectorSource(dir / "disc.cue");
    const auto& info = source->Info();
    ASSERT_EQ(info.Tracks.size(), 2u);
    EXPECT_EQ(info.DataTrack, 1);
    EXPECT_EQ(info.Tracks[0].Format, SectorFormat::Audio);
    EXPECT_EQ(info.Tracks[0].Sectors, 300);
    EXPECT_EQ(info.Tracks[1].FileOffset, 1058400);
    EXPECT_EQ(info.Tracks[1].Start, 450);
    EXPECT_EQ(source->SectorCount(), 40);
    ExpectAllSectors(*source);
}

TEST(CueSheet, DataThenAudioOfAnotherSizeInOneFile)
{
    // Track 1: 40 cooked sectors (81920 bytes). Track 2's INDEX 00 at
    // 00:00:40 (frame 40) and INDEX 01 at 00:02:40 (frame 190): its pregap is
    // 150 sectors of 2352 bytes, so INDEX 01 lies at 81920 + 352800 = 434720.
    TempDir dir;
    WriteFile(dir / "mixed.bin", Track(SectorFormat::Cooked2048, 0, 40) + Track(SectorFormat::Audio, 40, 250));
    WriteFile(dir / "mixed.cue", " \t FILE \"mixed.bin\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n"
                                 "TRACK 02 AUDIO\nINDEX 00 00:00:40\nINDEX 01 00:02:40\n");
    auto source = OpenSectorSource(dir / "mixed.cue");
    const auto& info = source->Info();
    EXPECT_EQ(info.DataTrack, 0);
    EXPECT_EQ(info.Tracks[0].Sectors, 40);
    EXPECT_EQ(info.Tracks[1].FileOffset, 434720);
    EXPECT_EQ(info.Tracks[1].Start, 190);
    EXPECT_EQ(info.Tracks[1].Sectors, 100);
    ExpectAllSectors(*source);
}

TEST(CueSheet, OneFilePerTrackWithPregapAndParentFolder)
{
    // Track 1 (sound) fills its file: 300 sectors. Track 2's PREGAP of
    // 00:02:00 takes 150 disc addresses but no bytes: it starts at disc
    // address 300 + 150 = 450, at byte 0 of its own file.
    TempDir dir;
    platform::ForceDirectories(dir / "sheets");
    WriteFile(dir / "Track 01.bin", Track(SectorFormat::Audio, 0, 300));
    WriteFile(dir / "Track 02.bin", Track(SectorFormat::Mode2Raw, 450, 40));
    WriteFile(dir / "sheets\\disc.cue", "FILE \"../Track 01.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                        "FILE ../Track 02.bin BINARY\n  TRACK 02 MODE2/2352\n    PREGAP 00:02:00\n"
                                        "    INDEX 01 00:00:00\n");
    auto source = OpenSectorSource(dir / "sheets\\disc.cue");
    const auto& t = DataTrack(*source);
    EXPECT_EQ(t.Number, 2);
    EXPECT_EQ(t.File, dir / "Track 02.bin");
    EXPECT_EQ(t.FileOffset, 0);
    EXPECT_EQ(t.Start, 450);
    ExpectAllSectors(*source);
}

TEST(CueSheet, DataSecondAfterAWaveFile)
{
    // A WAVE file's sound (the data chunk after a 44-byte header) counts
    // its sectors: 10 * 2352 bytes = 10 sectors; the data track starts at 10.
    TempDir dir;
    std::string sound = Track(SectorFormat::Audio, 0, 10);
    auto le32 = [](uint32_t v) { return std::string{ char(v), char(v >> 8), char(v >> 16), char(v >> 24) }; };
    std::string fmt = test::Hex("01 00 02 00 44 AC 00 00 10 B1 02 00 04 00 10 00");
    WriteFile(dir / "a.wav", "RIFF" + le32(36 + sound.size()) + "WAVEfmt " + le32(16) + fmt + "data" + le32(sound.size()) + sound);
    WriteFile(dir / "b.bin", Track(SectorFormat::Mode1Raw, 10, 40));
    WriteFile(dir / "x.cue", "FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                             "FILE b.bin BINARY\nTRACK 02 MODE1/2352\nINDEX 01 00:00:00\n");
    auto source = OpenSectorSource(dir / "x.cue");
    EXPECT_EQ(source->Info().Tracks[0].Sectors, 10);
    EXPECT_EQ(DataTrack(*source).Start, 10);
    ExpectAllSectors(*source);
}

TEST(CueSheet, FileNamesInUtf8AndCp932)
{
    TempDir dir;
    AnsiString name = test::S(u8"ディスク 表.bin"); // CP932; 表 holds a 0x5C byte
    WriteFile(dir / name, Track(SectorFormat::Mode1Raw, 0, 40));
    std::string utf8(reinterpret_cast<const char*>(u8"ディスク 表.bin"));
    WriteFile(dir / "Game.BIN", Track(SectorFormat::Mode1Raw, 0, 40));
    WriteFile(dir / "c.cue", "FILE \"GAME.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n");
    // The case of the name differs: the file is found (with its own spelling on POSIX).
    EXPECT_TRUE(SameText(DataTrack(*OpenSectorSource(dir / "c.cue")).File, dir / "Game.BIN"));
    for (const std::string& bytes : { utf8, std::string(name) }) {
        WriteFile(dir / "j.cue", "FILE \"" + bytes + "\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n");
        auto source = OpenSectorSource(dir / "j.cue");
        EXPECT_EQ(DataTrack(*source).File, dir / name);
        ExpectAllSectors(*source);
    }
}

void ExpectRefused(const AnsiString& path, std::string_view named)
{
    try {
        OpenSectorSource(path);
        ADD_FAILURE() << "opened: " << path;
    } catch (const EMediaError& e) {
        EXPECT_NE(e.Message().find(named), std::string::npos) << e.Message();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not EMediaError: " << e.what();
    }
}

TEST(CueSheet, DamagedSheetsAreRefused)
{
    TempDir dir;
    WriteFile(dir / "d.bin", Track(SectorFormat::Mode1Raw, 0, 40));
    const char* sheets[] = {
        "FILE missing.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n", // a missing file
        "FILE d.bin BINARY\nTRACK 01 MODE1/2352\n",                          // no INDEX 01
        "FILE d.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:99:00\n",       // seconds out of range
        "FILE d.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 10:00:00\n",       // past the file's end
        "FILE d.bin BINARY\nTRACK 1000000000 MODE1/2352\nINDEX 01 00:00:00\n",
        "FILE d.bin BINARY\nTRACK 01 MODE3/2352\nINDEX 01 00:00:00\n",
        "FILE d.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",             // no data track
        "TRACK 01 MODE1/2352\nINDEX 01 00:00:00\n",                           // no FILE
        "FILE d.bin MP3\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n",
        "FILE d.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:10\nTRACK 02 MODE1/2352\nINDEX 01 00:00:05\n",
        "",
        "\x00\x01\x02 binary garbage",
    };
    for (const char* sheet : sheets) {
        WriteFile(dir / "bad.cue", sheet);
        ExpectRefused(dir / "bad.cue", "bad.cue");
    }
    std::string many = "FILE d.bin BINARY\n";
    for (int i = 0; i < 200; ++i)
        many += "TRACK 01 MODE1/2352\nINDEX 01 00:00:00\n";
    WriteFile(dir / "bad.cue", many);
    ExpectRefused(dir / "bad.cue", "bad.cue");
    WriteFile(dir / "bad.cue", std::string(3 << 20, ' '));
    ExpectRefused(dir / "bad.cue", "bad.cue");
    // The missing file is named too.
    WriteFile(dir / "bad.cue", sheets[0]);
    ExpectRefused(dir / "bad.cue", "missing.bin");
}

TEST(CueSheet, TruncatedBinIsRefusedOrReadCorrectly)
{
    TempDir dir;
    std::string whole = Track(SectorFormat::Audio, 0, 20) + Track(SectorFormat::Mode1Raw, 20, 40);
    WriteFile(dir / "t.cue", "FILE t.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                             "TRACK 02 MODE1/2352\nINDEX 01 00:00:20\n");
    for (int cut = 0; cut <= 20; ++cut) {
        size_t size = whole.size() * cut / 20 - (cut % 3) * 100 * (cut > 0);
        WriteFile(dir / "t.bin", whole.substr(0, size));
        try {
            auto source = OpenSectorSource(dir / "t.cue");
            EXPECT_EQ(source->SectorCount(), static_cast<int64_t>(size / 2352) - 20);
            ExpectAllSectors(*source);
        } catch (const EMediaError&) {
            EXPECT_LE(size, 21u * 2352) << cut;
        }
    }
}

// ---- CloneCD ----

std::string CcdText(const std::vector<std::tuple<int, int, int64_t>>& entries, // point, control, plba
                    const std::vector<std::pair<int, int>>& trackModes)
{
    std::string s = "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=" + std::to_string(entries.size()) +
                    "\r\nSessions=1\r\nDataTracksScrambled=0\r\nCDTextLength=0\r\n[Session 1]\r\nPreGapMode=1\r\n"
                    "PreGapSubC=0\r\n";
    int n = 0;
    for (auto [point, control, plba] : entries) {
        int64_t a = plba + 150;
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", point);
        s += "[Entry " + std::to_string(n++) + "]\r\nSession=1\r\nPoint=" + hex + "\r\nADR=0x01\r\nControl=0x0" +
             std::to_string(control) + "\r\nTrackNo=0\r\nAMin=0\r\nASec=0\r\nAFrame=0\r\nALBA=-150\r\nZero=0\r\nPMin=" +
             std::to_string(a / 4500) + "\r\nPSec=" + std::to_string(a / 75 % 60) + "\r\nPFrame=" +
             std::to_string(a % 75) + "\r\nPLBA=" + std::to_string(plba) + "\r\n";
    }
    for (auto [track, mode] : trackModes)
        s += "[TRACK " + std::to_string(track) + "]\r\nMODE=" + std::to_string(mode) + "\r\nINDEX 1=0\r\n";
    return s;
}

TEST(CloneCd, DataFirstThenAudio)
{
    TempDir dir;
    WriteFile(dir / "g.img", Track(SectorFormat::Mode1Raw, 0, 40) + Track(SectorFormat::Audio, 40, 100));
    WriteFile(dir / "g.sub", std::string(140 * 96, '\0'));
    WriteFile(dir / "g.ccd", CcdText({ { 0xA0, 4, -1 }, { 0xA1, 0, -1 }, { 0xA2, 0, 140 }, { 1, 4, 0 }, { 2, 0, 40 } },
                                     { { 1, 1 }, { 2, 0 } }));
    for (const char* opened : { "g.ccd", "g.img", "g.sub" }) {
        auto source = OpenSectorSource(dir / opened);
        EXPECT_EQ(source->Info().Container, "ccd");
        EXPECT_EQ(source->Info().Path, dir / opened);
        ASSERT_EQ(source->Info().Tracks.size(), 2u);
        EXPECT_EQ(source->Info().Tracks[1].Sectors, 100);
        EXPECT_EQ(source->SectorCount(), 40);
        ExpectAllSectors(*source);
    }
}

TEST(CloneCd, AudioFirstThenMode2Data)
{
    // Track 2 starts at address 100: byte 100 * 2352 = 235200 of the image.
    // No [TRACK] sections: the sector header tells mode 2.
    TempDir dir;
    WriteFile(dir / "g.img", Track(SectorFormat::Audio, 0, 100) + Track(SectorFormat::Mode2Raw, 100, 40));
    WriteFile(dir / "g.ccd", CcdText({ { 0xA0, 0, -1 }, { 0xA2, 4, 140 }, { 1, 0, 0 }, { 2, 4, 100 } }, {}));
    auto source = OpenSectorSource(dir / "g.ccd");
    const auto& t = DataTrack(*source);
    EXPECT_EQ(t.Number, 2);
    EXPECT_EQ(t.Format, SectorFormat::Mode2Raw);
    EXPECT_EQ(t.FileOffset, 235200);
    EXPECT_EQ(t.Start, 100);
    ExpectAllSectors(*source);
}

TEST(CloneCd, TrackSectionsWithoutEntries)
{
    TempDir dir;
    WriteFile(dir / "g.img", Track(SectorFormat::Audio, 0, 30) + Track(SectorFormat::Mode1Raw, 30, 40));
    WriteFile(dir / "g.ccd", "[CloneCD]\nVersion=3\n[TRACK 1]\nMODE=0\nINDEX 1=0\n[TRACK 2]\nMODE=1\nINDEX 0=28\nINDEX 1=30\n");
    auto source = OpenSectorSource(dir / "g.ccd");
    EXPECT_EQ(DataTrack(*source).Start, 30);
    EXPECT_EQ(DataTrack(*source).FileOffset, 30 * 2352);
    ExpectAllSectors(*source);
}

TEST(CloneCd, DamagedControlFilesAreRefused)
{
    TempDir dir;
    WriteFile(dir / "g.img", Track(SectorFormat::Mode1Raw, 0, 40));
    std::string good = CcdText({ { 0xA2, 0, 40 }, { 1, 4, 0 } }, { { 1, 1 } });
    std::vector<std::string> bad = {
        CcdText({ { 0xA2, 0, 400 }, { 1, 4, 0 } }, { { 1, 1 } }),       // lead-out past the image
        CcdText({ { 1, 4, 9999999999 } }, {}),                           // a track past the image
        CcdText({ { 1, 0, 0 } }, { { 1, 0 } }),                          // audio only
        CcdText({}, {}),                                                 // no tracks
        "[Disc]\nTocEntries=1\n",                                       // not CloneCD
    };
    for (const std::string& text : bad) {
        WriteFile(dir / "g.ccd", text);
        ExpectRefused(dir / "g.ccd", "g.");
    }
    WriteFile(dir / "g.ccd", good);
    EXPECT_EQ(OpenSectorSource(dir / "g.ccd")->SectorCount(), 40);
    platform::RemoveFile(dir / "g.img");
    ExpectRefused(dir / "g.ccd", "g.img");
    WriteFile(dir / "lonely.sub", "x");
    ExpectRefused(dir / "lonely.sub", "lonely.sub");
}

// ---- Nero ----

TEST(Nero, DaoDataFirstBothVersions)
{
    // Track 1: 40 cooked sectors at 0; track 2 (sound): its pregap at 81920,
    // INDEX 01 150 sectors of 2352 bytes later (434720), 100 sectors. Track
    // 2's address: 40 sectors of track 1 + 150 of pregap = 190.
    TempDir dir;
    std::string sectors = Track(SectorFormat::Cooked2048, 0, 40) + Track(SectorFormat::Audio, 40, 250);
    std::vector<NeroDaoTrack> dao = { { 2048, 0, 0, 0, 81920 }, { 2352, 7, 81920, 434720, 434720 + 100 * 2352 } };
    for (bool v2 : { false, true }) {
        WriteFile(dir / "d.nrg", NeroImage(v2, sectors, { Chunk(v2 ? "CUEX" : "CUES", std::string(32, '\0')),
                                                         Chunk(v2 ? "DAOX" : "DAOI", NeroDao(v2, 1, dao)),
                                                         Chunk("SINF", Be32(2)), Chunk("MTYP", Be32(1)) }));
        auto source = OpenSectorSource(dir / "d.nrg");
        const auto& info = source->Info();
        EXPECT_EQ(info.Container, "nrg");
        ASSERT_EQ(info.Tracks.size(), 2u);
        EXPECT_EQ(info.DataTrack, 0);
        EXPECT_EQ(info.Tracks[1].Format, SectorFormat::Audio);
        EXPECT_EQ(info.Tracks[1].FileOffset, 434720);
        EXPECT_EQ(info.Tracks[1].Start, 190);
        EXPECT_EQ(source->SectorCount(), 40);
        ExpectAllSectors(*source);
    }
}

TEST(Nero, DaoAudioFirstThenRawData)
{
    // Track 1: 100 sectors of sound; track 2 (mode 1, raw): pregap at 235200,
    // INDEX 01 at 235200 + 150 * 2352 = 588000; address 100 + 150 = 250.
    TempDir dir;
    std::string sectors = Track(SectorFormat::Audio, 0, 250) + Track(SectorFormat::Mode1Raw, 250, 40);
    std::vector<NeroDaoTrack> dao = { { 2352, 7, 0, 0, 235200 }, { 2352, 5, 235200, 588000, 588000 + 40 * 2352 } };
    for (bool v2 : { false, true }) {
        WriteFile(dir / "d.nrg", NeroImage(v2, sectors, { Chunk(v2 ? "DAOX" : "DAOI", NeroDao(v2, 1, dao)) }));
        auto source = OpenSectorSource(dir / "d.nrg");
        const auto& t = DataTrack(*source);
        EXPECT_EQ(t.Number, 2);
        EXPECT_EQ(t.Format, SectorFormat::Mode1Raw);
        EXPECT_EQ(t.FileOffset, 588000);
        EXPECT_EQ(t.Start, 250);
        ExpectAllSectors(*source);
    }
}

TEST(Nero, TaoBothVersions)
{
    TempDir dir;
    for (bool v2 : { false, true }) {
        // v1: cooked mode 1; v2: raw mode 2 (mode 6) after a sound track.
        std::string sectors = v2 ? Track(SectorFormat::Audio, 0, 20) + Track(SectorFormat::Mode2Raw, 170, 40)
                                 : Track(SectorFormat::Cooked2048, 0, 40);
        std::vector<NeroTaoTrack> tao = v2 ? std::vector<NeroTaoTrack>{ { 0, 20 * 2352, 7, 0 }, { 20 * 2352, 40 * 2352, 6, 170 } }
                                           : std::vector<NeroTaoTrack>{ { 0, 40 * 2048, 0, 0 } };
        WriteFile(dir / "t.nrg", NeroImage(v2, sectors, { Chunk(v2 ? "ETN2" : "ETNF", NeroTao(v2, tao)), Chunk("SINF", Be32(1)) }));
        auto source = OpenSectorSource(dir / "t.nrg");
        const auto& t = DataTrack(*source);
        EXPECT_EQ(t.Format, v2 ? SectorFormat::Mode2Raw : SectorFormat::Cooked2048);
        EXPECT_EQ(t.FileOffset, v2 ? 20 * 2352 : 0);
        EXPECT_EQ(t.Start, v2 ? 170 : 0);
        EXPECT_EQ(source->SectorCount(), 40);
        ExpectAllSectors(*source);
    }
}

TEST(Nero, DamagedImagesAreRefused)
{
    TempDir dir;
    std::string sectors = Track(SectorFormat::Cooked2048, 0, 40);
    uint64_t n = sectors.size();
    std::vector<std::string> bad = {
        sectors,                                                                                  // no footer
        NeroImage(true, sectors, { Chunk("DAOX", NeroDao(true, 1, { { 2048, 0, 0, 0, n + 4096 } })) }), // past the chunks
        NeroImage(true, sectors, { Chunk("DAOX", NeroDao(true, 1, { { 2048, 0, 0, 0, ~0ull } })) }),
        NeroImage(false, sectors, { Chunk("DAOI", NeroDao(false, 1, { { 2048, 0, 2048, 0, n } })) }), // pregap after index 1
        NeroImage(false, sectors, { Chunk("DAOI", NeroDao(false, 1, { { 1000, 0, 0, 0, n } })) }),    // odd sector size
        NeroImage(true, sectors, { "DAOX" + Be32(0xFFFFFFFF) }),                                   // chunk of 4 GiB
        NeroImage(true, sectors, { Chunk("ETN2", NeroTao(true, { { n - 2048, 1ull << 62, 0, 0 } })) }),
        NeroImage(true, sectors, { Chunk("MTYP", Be32(1)) }),                                      // no tracks
        NeroImage(false, sectors, { Chunk("ETNF", NeroTao(false, { { 0, n, 7, 0 } })) }),          // audio only
        sectors + "NER5" + Be64(~0ull),
        sectors + "NER5" + Be64(0),                                                                // chunks = the sectors
        sectors + "NERO" + Be32(static_cast<uint32_t>(n + 100)),
    };
    std::string many;
    for (int i = 0; i < 150; ++i)
        many += NeroTao(false, { { 0, 2048, 0, 0 } });
    bad.push_back(NeroImage(false, sectors, { Chunk("ETNF", many) }));
    for (size_t i = 0; i < bad.size(); ++i) {
        WriteFile(dir / "bad.nrg", bad[i]);
        SCOPED_TRACE(i);
        ExpectRefused(dir / "bad.nrg", "bad.nrg");
    }
}

TEST(Nero, TruncatedAtManyPointsIsRefused)
{
    TempDir dir;
    std::string whole = NeroImage(true, Track(SectorFormat::Mode1Raw, 0, 40),
                                  { Chunk("DAOX", NeroDao(true, 1, { { 2352, 5, 0, 0, 40 * 2352 } })) });
    for (int cut = 0; cut < 20; ++cut) {
        size_t size = whole.size() * cut / 20 + cut * 7;
        WriteFile(dir / "t.nrg", whole.substr(0, size));
        ExpectRefused(dir / "t.nrg", "t.nrg"); // the footer is gone
    }
    // Cut inside the chunk list with the footer kept: refused too.
    for (size_t keep = 1; keep < 60; keep += 6) {
        std::string list = whole.substr(40 * 2352, whole.size() - 40 * 2352 - 12);
        WriteFile(dir / "t.nrg", Track(SectorFormat::Mode1Raw, 0, 40) + list.substr(0, keep) + "NER5" + Be64(40 * 2352));
        ExpectRefused(dir / "t.nrg", "t.nrg");
    }
}

// ---- what may be opened ----

TEST(LooksLikeDisc, ByNameOrDevice)
{
    for (const char* name : { "a.iso", "B.IMG", "c.bin", "d.Cue", "e.ccd", "f.nrg", "g.mdf" })
        EXPECT_TRUE(media::LooksLikeDisc(AnsiString("C:\\x\\") + name)) << name;
    for (const char* name : { "a.txt", "iso", "b.iso.txt", "c.sub", "" })
        EXPECT_FALSE(media::LooksLikeDisc(AnsiString("C:\\x\\") + name)) << name;
#ifndef _WIN32
    if (platform::IsBlockDevice(platform::PathFromHost("/dev/loop0"))) {
        EXPECT_TRUE(media::LooksLikeDisc(platform::PathFromHost("/dev/loop0")));
    }
    EXPECT_FALSE(media::LooksLikeDisc(platform::PathFromHost("/dev/null")));
#endif
}

#ifndef _WIN32
std::string RunShell(const std::string& command, int& status)
{
    std::string out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return status = -1, out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    status = ::pclose(p);
    return out;
}

TEST(BlockDevice, LoopDeviceOfAnIsoReadsAsADrive)
{
    TempDir dir;
    WriteFile(dir / "disc.iso", Track(SectorFormat::Cooked2048, 0, 600));
    std::string host;
    ASSERT_TRUE(platform::HostPath(dir / "disc.iso", host));
    int status = 0;
    std::string device = RunShell("losetup -r -f --show '" + host + "'", status);
    while (!device.empty() && (device.back() == '\n' || device.back() == ' '))
        device.pop_back();
    if (status != 0 || !device.starts_with("/dev/")) {
        if (test::UnderCI())
            FAIL() << "losetup refused under CI: " << device;
        std::printf("note: no loop device (losetup said: %s); the block-device test did not run\n", device.c_str());
        return;
    }
    struct Detach {
        std::string device;
        ~Detach()
        {
            int s = 0;
            RunShell("losetup -d " + device, s);
        }
    } detach{ device };
    AnsiString path = platform::PathFromHost(device);
    EXPECT_TRUE(platform::IsBlockDevice(path));
    EXPECT_TRUE(media::LooksLikeDisc(path));
    auto source = OpenSectorSource(path);
    EXPECT_EQ(source->Info().Container, "device");
    EXPECT_EQ(source->SectorCount(), 600);
    ExpectAllSectors(*source, 512);
    std::vector<uint8_t> buffer(2048);
    EXPECT_THROW(source->ReadSectors(600, 1, buffer.data()), EMediaError);
}
#endif

} // namespace
} // namespace tarn::mediatest
