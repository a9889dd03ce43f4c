// A mounted image reads like a folder through the program's file routines.
#include <atomic>
#include <thread>

#include "base/path.h"
#include "media/disc_volume.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "platform/volume.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using test::S;

#ifndef _WIN32
// An image made by a tool no one here wrote, from a folder of host files.
AnsiString MakeIso(const test::TempDir& tmp, const AnsiString& dir, const std::vector<std::string>& options)
{
    std::string hostDir, hostIso;
    AnsiString iso = tmp / "disc.iso";
    EXPECT_TRUE(platform::HostPath(dir, hostDir));
    EXPECT_TRUE(platform::HostPath(iso, hostIso));
    std::vector<std::string> args = { "-as", "mkisofs", "-quiet" };
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), { "-o", hostIso, hostDir });
    platform::ProcessResult r = platform::RunProcess(test::ToolPath("xorriso"), args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return iso;
}

class DiscVolume : public ::testing::Test {
protected:
    void SetUp() override
    {
        TARN_REQUIRE_TOOL("xorriso");
        AnsiString src = tmp / "src";
        ASSERT_TRUE(platform::ForceDirectories(src + S(u8"\\データ\\表示")));
        test::WriteFile(src + "\\install.dat", "description");
        test::WriteFile(src + S(u8"\\データ\\表示\\セーブ.txt"), "save me");
        big.resize(5 * 1000 * 1000 + 17);
        for (size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>(i * 7 + i / 4096);
        test::WriteFile(src + "\\game.dat", big);
        iso = MakeIso(tmp, src, { "-J", "-joliet-long", "-R" });
        media::MountDisc(iso);
    }
    void TearDown() override { platform::UnmountVolume(iso); }

    test::TempDir tmp;
    AnsiString iso;
    std::string big;
};

TEST_F(DiscVolume, FileRoutinesSeeTheTreeWithItsRealNames)
{
    EXPECT_TRUE(platform::DirectoryExists(iso));
    EXPECT_TRUE(platform::DirectoryExists(iso + "\\"));
    EXPECT_TRUE(platform::FileExists(iso + "\\INSTALL.DAT")); // names fold case as on Windows
    EXPECT_FALSE(platform::FileExists(iso + "\\missing.dat"));
    EXPECT_FALSE(platform::FileExists(iso + S(u8"\\データ")));
    EXPECT_TRUE(platform::DirectoryExists(iso + S(u8"\\データ\\表示")));
    EXPECT_EQ(platform::FileSize(iso + "\\game.dat"), static_cast<int64_t>(big.size()));
    EXPECT_EQ(platform::FileGetAttr(iso + "\\game.dat"), 0x21); // a disc's files are read-only
    EXPECT_EQ(platform::KindOf(iso + S(u8"\\データ")), platform::EntryKind::Directory);
    EXPECT_TRUE(platform::FileDosDateTime(iso + "\\install.dat").has_value());

    StringList list;
    ListFiles(AddBackslash(iso), faAnyFile, true, true, list, true, true, false, "");
    StringList names;
    for (const AnsiString& p : list)
        names.push_back(p.substr(iso.size() + 1));
    std::sort(names.begin(), names.end());
    StringList expected = { "game.dat", "install.dat", S(u8"データ\\"), S(u8"データ\\表示\\"),
                            S(u8"データ\\表示\\セーブ.txt") };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST_F(DiscVolume, StreamsAndCopiesReadTheBytes)
{
    EXPECT_EQ(test::ReadFile(iso + S(u8"\\データ\\表示\\セーブ.txt")), "save me");
    {
        TFileStream s(iso + "\\game.dat", fmOpenRead);
        s.Seek(4096 * 3 + 5, SeekOrigin::Beginning);
        char b[10];
        s.ReadBuffer(b, 10);
        EXPECT_EQ(std::string(b, 10), big.substr(4096 * 3 + 5, 10));
    }
    EXPECT_THROW(TFileStream(iso + "\\game.dat", fmOpenReadWrite), EFOpenError);
    EXPECT_THROW(TFileStream(iso + "\\new.dat", fmCreate), EFCreateError);

    AnsiString copy = tmp / "copy.dat";
    platform::Sha256Digest digest{};
    EXPECT_EQ(CopyIfChangedOutcome(iso + "\\game.dat", copy, true, {}, &digest), CopyOutcome::Copied);
    EXPECT_EQ(test::ReadFile(copy), big);
    EXPECT_EQ(digest, platform::Sha256::Of(big));
    EXPECT_EQ(platform::FileGetAttr(copy) & faReadOnly, 0); // the copy is the person's to change
    // The copy carries the disc's time, so the next install leaves it as it is.
    EXPECT_EQ(CopyIfChangedOutcome(iso + "\\game.dat", copy, true), CopyOutcome::Unchanged);

    // The kernel's copy from the image file, in the middle of a file.
    auto in = platform::File::Open(iso + "\\game.dat", platform::File::Mode::Read);
    auto out = platform::File::Open(tmp / "part.dat", platform::File::Mode::Create);
    ASSERT_TRUE(in && out);
    in->Seek(1000);
    EXPECT_EQ(platform::File::CopyRange(*in, *out, 3 * 1000 * 1000), 3 * 1000 * 1000);
    out.reset();
    EXPECT_EQ(test::ReadFile(tmp / "part.dat"), big.substr(1000, 3 * 1000 * 1000));
}

TEST_F(DiscVolume, ThreadsReadSideBySideAndTheImageStaysAFile)
{
    // Its own reader opens the image again when threads read at once: the
    // mounted path is still the file to an open.
    auto self = platform::File::Open(iso, platform::File::Mode::Read);
    ASSERT_TRUE(self);
    EXPECT_EQ(self->Size() % 2048, 0);
    std::vector<std::thread> readers;
    std::atomic<int> wrong{ 0 };
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                auto f = platform::File::Open(iso + "\\game.dat", platform::File::Mode::Read);
                std::string part(100000, '\0');
                int64_t at = (t * 20 + i) * 50000;
                if (f)
                    f->Seek(at);
                if (!f || f->Read(part.data(), 100000) != 100000 || part != big.substr(static_cast<size_t>(at), 100000))
                    ++wrong;
            }
        });
    for (std::thread& r : readers)
        r.join();
    EXPECT_EQ(wrong, 0);
}

TEST_F(DiscVolume, NothingIsWrittenIntoTheImage)
{
    EXPECT_FALSE(platform::RemoveFile(iso + "\\install.dat"));
    EXPECT_FALSE(platform::ForceDirectories(iso + "\\new"));
    EXPECT_FALSE(platform::FileSetAttr(iso + "\\install.dat", 0));
    EXPECT_FALSE(platform::CopyFileWithAttributes(tmp / "src\\install.dat", iso + "\\x.dat"));
    EXPECT_TRUE(platform::FileExists(iso + "\\install.dat"));
    // A name that only starts like the image is not inside it.
    test::WriteFile(iso + ".txt", "beside");
    EXPECT_TRUE(platform::FileExists(iso + ".txt"));
}

TEST_F(DiscVolume, AProgramOnTheImageStartsFromACopyWithItsFolder)
{
    // The system starts programs from its own folders: the program and what
    // lies beside it come out to the temporary directory first.
    AnsiString program = iso + S(u8"\\データ\\表示\\セーブ.txt");
    AnsiString startable = media::StartablePath(program);
    EXPECT_EQ(startable, AddBackslash(platform::TempDirectory()) + S(u8"tarn-disc\\表示\\セーブ.txt"));
    EXPECT_EQ(test::ReadFile(startable), "save me");
    // A program in a folder is started where it lies.
    AnsiString onDisk = tmp / "src\\install.dat";
    EXPECT_EQ(media::StartablePath(onDisk), onDisk);
}

TEST(DiscVolumeMount, WhatIsNoImageIsNotMounted)
{
    test::TempDir tmp;
    test::WriteFile(tmp / "notes.txt", "text");
    test::WriteFile(tmp / "broken.iso", std::string(40000, 'x'));
    EXPECT_EQ(media::MountIfDisc(tmp / "notes.txt"), nullptr);
    EXPECT_EQ(media::MountIfDisc(tmp.Path()), nullptr);
    EXPECT_EQ(media::MountIfDisc(tmp / "missing.iso"), nullptr);
    AnsiString error;
    EXPECT_EQ(media::MountIfDisc(tmp / "broken.iso", &error), nullptr);
    EXPECT_NE(error.find("broken.iso"), AnsiString::npos) << error;
    EXPECT_FALSE(platform::DirectoryExists(tmp / "broken.iso"));
}
#endif

} // namespace
} // namespace tarn
