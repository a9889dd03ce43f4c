#include "archive/big_stream.h"
#include "archive/file_ops.h"
#include "archive_test_util.h"
#include "base/error.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::TempDir;

namespace {

std::string ReadAll(TTpBigStream& s)
{
    s.SetPosition(0);
    std::string out(static_cast<size_t>(s.GetSize()), '\0');
    EXPECT_EQ(s.Read(out.data(), static_cast<int64_t>(out.size())), static_cast<int64_t>(out.size()));
    return out;
}

TEST(BigStream, PieceNames)
{
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("D:\\Game\\game.dat", 0), "D:\\Game\\game.dat");
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("D:\\Game\\game.dat", 1), "D:\\Game\\game.001");
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("D:\\Game\\game.dat", 12), "D:\\Game\\game.012");
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("D:\\Game\\game.dat", 1000), "D:\\Game\\game.1000");
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("C:\\x\\data", 1), "C:\\x\\data.001");
    // Only the last component's dot starts an extension.
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("C:\\v1.2\\data", 2), "C:\\v1.2\\data.002");
    EXPECT_EQ(TTpBigFileStream::PieceNameOf("C:\\x\\$$tinstwk.dat", 1), "C:\\x\\$$tinstwk.001");
}

TEST(BigStream, BaseClassDoesNothing)
{
    TTpBigStream base;
    TMemoryStream m;
    char b[4] = {};
    base.SetPosition(10);
    EXPECT_EQ(base.GetSize(), 0);
    EXPECT_EQ(base.GetPosition(), 0);
    EXPECT_EQ(base.Write(b, 4), 0);
    EXPECT_EQ(base.Read(b, 4), 0);
    EXPECT_EQ(base.CopyFrom(base, 4), 0);
    EXPECT_EQ(base.CopyFromStream(m, 4), 0);
    EXPECT_EQ(base.CopyToStream(m, 4), 0);
}

TEST(BigStream, WritesAcrossSeamsIntoPiecesAndReadsBack)
{
    TempDir dir;
    AnsiString name = dir / "game.dat";
    std::string data = "abcdefghijklmnopqrstuvwxyz0123456789"; // 36 bytes over pieces of 16
    {
        TTpBigFileStream s(name, fmCreate, 16);
        EXPECT_EQ(s.PieceCount(), 0);
        EXPECT_EQ(s.Write(data.data(), 10), 10);
        EXPECT_EQ(s.Write(data.data() + 10, 26), 26);
        EXPECT_EQ(s.GetPosition(), 36);
        EXPECT_EQ(s.GetSize(), 36);
        EXPECT_EQ(s.PieceCount(), 3);
    }
    EXPECT_EQ(test::ReadFile(name), data.substr(0, 16));
    EXPECT_EQ(test::ReadFile(dir / "game.001"), data.substr(16, 16));
    EXPECT_EQ(test::ReadFile(dir / "game.002"), data.substr(32));

    TTpBigFileStream r(name, fmOpenRead, 16);
    EXPECT_EQ(r.PieceCount(), 3);
    EXPECT_EQ(ReadAll(r), data);
    // A read that runs past the end returns what was there; at the end, nothing.
    r.SetPosition(30);
    char buf[100];
    EXPECT_EQ(r.Read(buf, 100), 6);
    EXPECT_EQ(std::string(buf, 6), data.substr(30));
    EXPECT_EQ(r.Read(buf, 100), 0);
    r.SetPosition(1000);
    EXPECT_EQ(r.GetPosition(), 36);
    // CopyToStream across both seams, and nothing at the very end.
    TMemoryStream m;
    r.SetPosition(5);
    EXPECT_EQ(r.CopyToStream(m, 30), 30);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), 30), data.substr(5, 30));
    EXPECT_EQ(r.GetPosition(), 35);
    EXPECT_EQ(r.CopyToStream(m, 30), 1);
    EXPECT_EQ(r.CopyToStream(m, 30), 0);
    EXPECT_EQ(m.GetSize(), 31);
}

TEST(BigStream, TenBytesAtFourBeforeTheSeam)
{
    TempDir dir;
    AnsiString name = dir / "game.dat";
    {
        TTpBigFileStream s(name, fmCreate, 16);
        s.Write("0123456789ABCDEF", 16); // exactly one full piece
        EXPECT_EQ(s.PieceCount(), 1);
        s.SetPosition(12);
        EXPECT_EQ(s.Write("abcdefghij", 10), 10);
        EXPECT_EQ(s.GetPosition(), 16 + 6);
        EXPECT_EQ(s.PieceCount(), 2);
    }
    EXPECT_EQ(test::ReadFile(name), "0123456789ABabcd");
    EXPECT_EQ(test::ReadFile(dir / "game.001"), "efghij");
}

// The same at the real piece size: a sparse base file of exactly 2^30 bytes.
TEST(BigStream, RealSeamAtTwoToTheThirty)
{
    TempDir dir;
    AnsiString name = dir / "game.dat";
    const int64_t piece = int64_t(1) << 30;
    {
        auto f = platform::File::Open(name, platform::File::Mode::Create);
        ASSERT_TRUE(f->SetSize(piece));
    }
    {
        TTpBigFileStream s(name, fmOpenRead);
        EXPECT_EQ(s.GetSize(), piece);
        EXPECT_EQ(s.PieceCount(), 1);
    }
    test::WriteFile(dir / "game.001", "");
    {
        TTpBigFileStream s(name, fmOpenReadWrite);
        ASSERT_EQ(s.PieceCount(), 2);
        s.SetPosition(piece - 4);
        EXPECT_EQ(s.Write("abcdefghij", 10), 10);
        EXPECT_EQ(s.GetPosition(), piece + 6);
        EXPECT_EQ(s.GetSize(), piece + 6);
        s.SetPosition(piece - 6);
        char buf[32];
        EXPECT_EQ(s.Read(buf, 32), 12);
        EXPECT_EQ(std::string(buf, 12), std::string(2, '\0') + "abcdefghij");
    }
    EXPECT_EQ(test::ReadFile(dir / "game.001"), "efghij");
    EXPECT_EQ(platform::FileSize(name), piece);
}

TEST(BigStream, GapInTheNumberingEndsTheStream)
{
    TempDir dir;
    test::WriteFile(dir / "game.dat", "0123");
    test::WriteFile(dir / "game.001", "4567");
    test::WriteFile(dir / "game.003", "cdef");
    {
        TTpBigFileStream r(dir / "game.dat", fmOpenRead, 4);
        EXPECT_EQ(r.PieceCount(), 2);
        EXPECT_EQ(ReadAll(r), "01234567");
    }
    { TTpBigFileStream deleting(dir / "game.dat", fmCreate, 4); }
    EXPECT_FALSE(platform::FileExists(dir / "game.dat"));
    EXPECT_FALSE(platform::FileExists(dir / "game.001"));
    EXPECT_TRUE(platform::FileExists(dir / "game.003"));
}

TEST(BigStream, MissingBaseFileIsAnEmptyStream)
{
    TempDir dir;
    TTpBigFileStream r(dir / "none.dat", fmOpenRead);
    EXPECT_EQ(r.PieceCount(), 0);
    EXPECT_EQ(r.GetSize(), 0);
    char b;
    EXPECT_EQ(r.Read(&b, 1), 0);
}

TEST(BigStream, ShortPieceInTheMiddleEndsTheData)
{
    // Pieces are full by construction; a damaged set must not be read at a
    // wrong offset of the next piece.
    TempDir dir;
    test::WriteFile(dir / "a.dat", "0123");
    test::WriteFile(dir / "a.001", "45");
    test::WriteFile(dir / "a.002", "89ab");
    TTpBigFileStream r(dir / "a.dat", fmOpenRead, 4);
    char buf[16];
    EXPECT_EQ(r.Read(buf, 16), 6);
    EXPECT_EQ(std::string(buf, 6), "012345");
}

TEST(BigStream, CopyFromFileStreamsAndOtherStreams)
{
    TempDir dir;
    std::string data;
    for (int i = 0; i < 100; ++i)
        data += static_cast<char>('A' + i % 26);
    {
        TTpBigFileStream s(dir / "src.dat", fmCreate, 7);
        s.Write(data.data(), 100);
    }
    TTpBigFileStream src(dir / "src.dat", fmOpenRead, 7);
    {
        TTpBigFileStream dst(dir / "dst.dat", fmCreate, 11);
        dst.Write("xy", 2);
        src.SetPosition(3);
        EXPECT_EQ(dst.CopyFrom(src, 90), 90); // seams of both sides, at different places
        EXPECT_EQ(src.GetPosition(), 93);
        EXPECT_EQ(dst.GetPosition(), 92);
        EXPECT_EQ(dst.CopyFrom(src, 0), 100); // 0: the whole source from its start
        EXPECT_EQ(ReadAll(dst), "xy" + data.substr(3, 90) + data);
        // Asking for more than the source holds is an error, not a short copy.
        src.SetPosition(95);
        EXPECT_THROW(dst.CopyFrom(src, 10), EReadError);
    }
    {
        TMemoryStream m;
        m.Write("hello world", 11);
        TTpBigFileStream dst(dir / "m.dat", fmCreate, 4);
        EXPECT_EQ(dst.CopyFromStream(m, 0), 11);
        m.SetPosition(6);
        EXPECT_EQ(dst.CopyFromStream(m, 5), 5);
        EXPECT_EQ(ReadAll(dst), "hello worldworld");
        m.SetPosition(8);
        EXPECT_THROW(dst.CopyFromStream(m, 5), EReadError);
    }
    {
        // A stream of another kind goes through the buffer.
        TFileStream plain(dir / "plain.bin", fmCreate);
        plain.WriteBuffer(data.data(), 100);
        TTpBigFileStream dst(dir / "p.dat", fmCreate, 9);
        EXPECT_EQ(dst.CopyFromStream(plain, 0), 100);
        EXPECT_EQ(ReadAll(dst), data);
        TFileStream sink(dir / "sink.bin", fmCreate);
        dst.SetPosition(95);
        EXPECT_EQ(dst.CopyToStream(sink, 50), 5);
        EXPECT_EQ(sink.GetSize(), 5);
    }
}

// A non-file big stream over memory, to reach the buffered CopyFrom.
class MemoryBig : public TTpBigStream {
public:
    explicit MemoryBig(std::string data) : data_(std::move(data)) { }
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
    int64_t GetPosition() override { return pos_; }
    void SetPosition(int64_t p) override { pos_ = std::min<int64_t>(p, GetSize()); }
    int64_t Read(void* b, int64_t n) override
    {
        n = std::min<int64_t>(n, GetSize() - pos_);
        std::copy_n(data_.data() + pos_, n, static_cast<char*>(b));
        pos_ += n;
        return n;
    }

private:
    std::string data_;
    int64_t pos_ = 0;
};

TEST(BigStream, CopyFromAnyBigStream)
{
    TempDir dir;
    MemoryBig mem("0123456789");
    TTpBigFileStream dst(dir / "d.dat", fmCreate, 3);
    EXPECT_EQ(dst.CopyFrom(mem, 0), 10);
    mem.SetPosition(8);
    EXPECT_THROW(dst.CopyFrom(mem, 5), EReadError);
    TTpBigFileStream again(dir / "d.dat", fmOpenRead, 3);
    EXPECT_EQ(ReadAll(again).substr(0, 10), "0123456789");
}

TEST(BigStream, FailuresOfTheFileOperationsAreErrors)
{
    TempDir dir;
    vftest::FailingOps ops;
    TScopedArchiveFileOps scope(ops);
    {
        // A short write (a full disk) is an error, not a smaller count.
        ops.kinds = "write";
        ops.failAt = 1;
        TTpBigFileStream s(dir / "w.dat", fmCreate, 4);
        EXPECT_EQ(s.Write("ab", 2), 2);
        EXPECT_THROW(s.Write("cdefgh", 6), EWriteError);
    }
    {
        // A piece that cannot be created names itself.
        ops.count = 0;
        ops.kinds = "open";
        ops.failAt = 1;
        TTpBigFileStream s(dir / "c.dat", fmCreate, 4);
        try {
            s.Write("0123456789", 10);
            FAIL() << "no error";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(), test::S(u8"ファイル ") + platform::ShownPath(dir / "c.001") + test::S(u8" を作成できません"));
        }
    }
    {
        // A piece that exists but cannot be opened fails the constructor.
        ops.failAt = -1;
        test::WriteFile(dir / "r.dat", "0123");
        test::WriteFile(dir / "r.001", "45");
        ops.count = 0;
        ops.failAt = 1;
        try {
            TTpBigFileStream s(dir / "r.dat", fmOpenRead, 4);
            FAIL() << "no error";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message(), test::S(u8"ファイル ") + platform::ShownPath(dir / "r.001") + test::S(u8" は開けません"));
        }
    }
    {
        // Copies between files: a short kernel copy or a short read is an error.
        ops.failAt = -1;
        TTpBigFileStream src(dir / "r.dat", fmOpenRead, 4);
        TTpBigFileStream dst(dir / "k.dat", fmCreate, 4);
        ops.kinds = "copy";
        ops.count = 0;
        ops.failAt = 0;
        EXPECT_THROW(dst.CopyFrom(src, 6), EWriteError);
        ops.kinds = "read";
        ops.count = 0;
        TMemoryStream m;
        src.SetPosition(0);
        EXPECT_THROW(src.CopyToStream(m, 6), EReadError);
    }
}

} // namespace
