#include "archive/vr_files.h"
#include "archive/vr_writer.h"
#include "archive_test_util.h"
#include "base/codepage.h"
#include "base/error.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

std::string Load(TVrFileCollection& c, const AnsiString& name)
{
    TMemoryStream m;
    c.LoadEntry(m, name);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

TEST(Writer, MatchesTheFormatTables)
{
    TempDir dir;
    // Level 0 gives zlib's own stored-block stream, so the expected bytes
    // are exactly those of the tests' builder with zlib at level 0.
    std::vector<TVrNewEntry> entries(3);
    entries[0].Name = "a.txt";
    entries[0].Data = "alpha alpha alpha";
    entries[1].Name = S(u8"表示.txt");
    entries[1].Data = "stored bytes";
    entries[1].Store = true;
    entries[2].Name = "empty";
    TVrWriteOptions options;
    options.Level = 0;
    WriteVrArchive(dir / "game.dat", entries, options);
    EXPECT_EQ(test::ReadFile(dir / "game.dat"), vftest::Build(101, { { "a.txt", vftest::Zlib("alpha alpha alpha", 0), 0 },
                                                                     { S(u8"表示.txt"), "stored bytes", 1 },
                                                                     { "empty", vftest::Zlib("", 0), 0 } }));
    entries[1].Store = false;
    for (int32_t version : { 0, 100 }) {
        options.Version = version;
        WriteVrArchive(dir / "game.dat", entries, options);
        EXPECT_EQ(test::ReadFile(dir / "game.dat"), vftest::Build(version, { { "a.txt", vftest::Zlib("alpha alpha alpha", 0), 0 },
                                                                             { S(u8"表示.txt"), vftest::Zlib("stored bytes", 0), 0 },
                                                                             { "empty", vftest::Zlib("", 0), 0 } }));
    }
}

TEST(Writer, RoundTripFromFilesIntoPieces)
{
    TempDir dir;
    std::string content(5000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * i % 253);
    test::WriteFile(dir / "in.bin", content);
    std::vector<TVrNewEntry> entries(2);
    entries[0].Name = "file.bin";
    entries[0].SourceFile = dir / "in.bin";
    entries[1].Name = "raw.bin";
    entries[1].SourceFile = dir / "in.bin";
    entries[1].Store = true;
    TVrWriteOptions options;
    options.PieceSize = 1000;
    std::vector<int64_t> progress;
    options.OnProgress = [&](size_t, int64_t done) { progress.push_back(done); };
    WriteVrArchive(dir / "out.dat", entries, options);
    EXPECT_EQ(progress, (std::vector<int64_t>{ 5000, 10000 }));
    EXPECT_TRUE(platform::FileExists(dir / "out.005"));
    EXPECT_FALSE(platform::FileExists(dir / "$$tinstwk.dat"));
    TVrFileCollection c;
    c.PieceSize = 1000;
    c.Open(dir / "out.dat");
    EXPECT_EQ(Load(c, "file.bin"), content);
    EXPECT_EQ(Load(c, "raw.bin"), content);
    EXPECT_EQ(c.Items(1).Size, 5000);

    // Written again with fewer pieces: the old archive's extra pieces go.
    entries.pop_back();
    WriteVrArchive(dir / "out.dat", entries, options);
    EXPECT_FALSE(platform::FileExists(dir / "out.005"));
    c.Open(dir / "out.dat");
    EXPECT_EQ(Load(c, "file.bin"), content);
}

TEST(Writer, RefusesWhatTheFormatCannotHold)
{
    TempDir dir;
    auto message = [&](std::vector<TVrNewEntry> entries, int32_t version) {
        TVrWriteOptions options;
        options.Version = version;
        try {
            WriteVrArchive(dir / "x.dat", entries, options);
        } catch (const EVrArchiveError& e) {
            return Cp932ToUtf8Lossy(e.Message());
        }
        return std::string("written");
    };
    TVrNewEntry stored;
    stored.Name = "s";
    stored.Store = true;
    EXPECT_EQ(message({ stored }, 100), "版 100 の書庫には無圧縮の項目を入れられません");
    EXPECT_EQ(message({ stored }, 0), "版 0 の書庫には無圧縮の項目を入れられません");
    EXPECT_EQ(message({ TVrNewEntry{} }, 101), "空の名前の項目は書庫に入れられません");
    // 26,230 entries are 76 66 00 00: a reader would take it for the magic.
    std::vector<TVrNewEntry> many(0x6676);
    for (size_t i = 0; i < many.size(); ++i)
        many[i].Name = "n" + std::to_string(i);
    EXPECT_NE(message(many, 0).find("26230"), std::string::npos);
    EXPECT_EQ(message(many, 100), "written");
    EXPECT_FALSE(platform::FileExists(dir / "$$tinstwk.dat"));

    // Stored content past 2^31 - 1 is refused before anything is written:
    // a sparse input of 2 GiB.
    {
        auto f = platform::File::Open(dir / "huge.bin", platform::File::Mode::Create);
        ASSERT_TRUE(f->SetSize(int64_t(1) << 31));
    }
    test::WriteFile(dir / "x.dat", "the old archive");
    stored.SourceFile = dir / "huge.bin";
    EXPECT_NE(message({ stored }, 101).find("2GB"), std::string::npos);
    EXPECT_EQ(test::ReadFile(dir / "x.dat"), "the old archive");
    EXPECT_FALSE(platform::FileExists(dir / "$$tinstwk.dat"));
}

TEST(Writer, AFailedWriteLeavesTheOldArchive)
{
    TempDir dir;
    std::vector<TVrNewEntry> entries(1);
    entries[0].Name = "a";
    entries[0].Data = std::string(3000, 'a');
    test::WriteFile(dir / "x.dat", "the old archive");
    for (int k = 0; k < 12; ++k) {
        vftest::FailingOps ops;
        ops.failAt = k;
        TVrWriteOptions options;
        options.PieceSize = 1000;
        bool threw = false;
        {
            TScopedArchiveFileOps scope(ops);
            try {
                WriteVrArchive(dir / "x.dat", entries, options);
            } catch (const Exception&) {
                threw = true;
            }
        }
        if (threw) {
            EXPECT_EQ(test::ReadFile(dir / "x.dat"), "the old archive") << ops.log.back();
        } else {
            // Only a failure that costs nothing passes: the new archive is whole.
            TVrFileCollection c;
            c.PieceSize = 1000;
            c.Open(dir / "x.dat");
            EXPECT_EQ(Load(c, "a"), entries[0].Data);
            c.Open("");
            test::WriteFile(dir / "x.dat", "the old archive");
        }
        EXPECT_FALSE(platform::FileExists(dir / "$$tinstwk.dat")) << k;
        for (int i = 1; i < 4; ++i)
            platform::RemoveFile(TTpBigFileStream::PieceNameOf(dir / "x.dat", i));
    }
}

} // namespace
