// Seeds: a small disc folder written as an ISO image and as a cue sheet with
// raw sectors by mkdisc's own image writer.
#include "base/codepage.h"
#include "fuzz_support.h"
#include "iso_image.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace tarn::fuzz {

namespace {

std::string Bytes(const AnsiString& path)
{
    std::vector<uint8_t> b = ReadWholeFile(path);
    return std::string(b.begin(), b.end());
}

void WriteFile(const AnsiString& path, std::string_view bytes)
{
    auto f = platform::File::Open(path, platform::File::Mode::Create);
    f->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

} // namespace

void WriteSeeds(const AnsiString& dir)
{
    AnsiString work = platform::TempDirectory() + "tarn-discimage-seeds\\";
    AnsiString disc = work + "disc\\";
    platform::ForceDirectories(disc + Sjis(u8"データ\\表示"));
    WriteFile(disc + "install.dat", "description");
    WriteFile(disc + Sjis(u8"データ\\表示\\セーブ.txt"), std::string(3000, 's'));
    WriteFile(disc + "game.dat", std::string(5000, 'g'));
    mkdisc::ImageTarget iso;
    iso.Base = work + "disc1";
    iso.VolumeId = "DISC1";
    mkdisc::WriteDiscImage(disc, iso);
    mkdisc::ImageTarget cue = iso;
    cue.Format = mkdisc::ImageFormat::Cue;
    mkdisc::WriteDiscImage(disc, cue);

    std::string isoBytes = Bytes(work + "disc1.iso"), binBytes = Bytes(work + "disc1.bin");
    SaveSeed(dir, "iso", std::string(1, '\0') + isoBytes);
    SaveSeed(dir, "raw_bin", std::string(1, '\1') + binBytes);
    SaveSeed(dir, "cue", std::string(1, '\3') + "FILE \"d.bin\" BINARY\r\n  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n" +
                             std::string(1, '\0') + binBytes);
    SaveSeed(dir, "cue_mode2", std::string(1, '\3') + "FILE d.bin BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 MODE1/2352\n  INDEX 01 00:00:10\n" +
                                   std::string(1, '\0') + std::string(10 * 2352, '\0') + binBytes);
    SaveSeed(dir, "ccd", std::string(1, '\4') +
                             "[CloneCD]\r\nVersion=3\r\n[Disc]\r\nTocEntries=4\r\nSessions=1\r\n[Session 1]\r\nPreGapMode=1\r\n"
                             "[Entry 0]\r\nSession=1\r\nPoint=0xa0\r\nControl=0x04\r\nPLBA=4350\r\n"
                             "[Entry 1]\r\nSession=1\r\nPoint=0xa1\r\nControl=0x04\r\nPLBA=4350\r\n"
                             "[Entry 2]\r\nSession=1\r\nPoint=0xa2\r\nControl=0x04\r\nPLBA=" +
                             std::to_string(binBytes.size() / 2352) +
                             "\r\n[Entry 3]\r\nSession=1\r\nPoint=0x01\r\nControl=0x04\r\nPLBA=0\r\n[TRACK 1]\r\nMODE=1\r\nINDEX 1=0\r\n" +
                             std::string(1, '\0') + binBytes);
    platform::RemoveFile(work + "disc1.iso");
    platform::RemoveFile(work + "disc1.bin");
    platform::RemoveFile(work + "disc1.cue");
}

} // namespace tarn::fuzz
