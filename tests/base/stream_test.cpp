#include "base/byte_reader.h"
#include "base/stream.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

TEST(MemoryStream, ReadWriteSeekAndSize)
{
    TMemoryStream m;
    m.WriteBuffer("abcdef", 6);
    EXPECT_EQ(m.GetSize(), 6);
    EXPECT_EQ(m.GetPosition(), 6);
    m.SetPosition(2);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");
    EXPECT_EQ(m.Read(buf, 1), 0);
    m.SetPosition(8); // past the end: a write fills the gap with zeros
    m.WriteBuffer("z", 1);
    EXPECT_EQ(m.GetSize(), 9);
    EXPECT_EQ(m.Memory()[6], 0);
    m.SetSize(3);
    EXPECT_EQ(m.GetPosition(), 3);
    EXPECT_EQ(m.Seek(-1, SeekOrigin::End), 2);
}

TEST(MemoryStream, ShortReadIsAnError)
{
    TMemoryStream m;
    m.WriteBuffer("ab", 2);
    m.SetPosition(0);
    char buf[3];
    EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
}

TEST(MemoryStream, CopyFromWholeSourceWithCountZero)
{
    TMemoryStream src, dst;
    src.WriteBuffer("hello", 5);
    EXPECT_EQ(dst.CopyFrom(src, 0), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 5), "hello");
    src.SetPosition(3);
    EXPECT_THROW(dst.CopyFrom(src, 3), EReadError);
}

TEST(ByteReader, LittleEndianAndBounds)
{
    std::string bytes = test::Hex("03 00 00 00 61 62 63 FF FF FF FF 34 12");
    ByteReader r(bytes);
    EXPECT_EQ(r.I32(), 3);
    EXPECT_EQ(r.Take(3), "abc");
    EXPECT_EQ(r.I32(), -1);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_THROW(r.U8(), EReadError);
    ByteReader s(bytes);
    s.Skip(12);
    EXPECT_THROW(s.U16(), EReadError); // one byte left
    EXPECT_EQ(s.Position(), 12u);      // a failed read moves nothing
    EXPECT_THROW(s.Take(SIZE_MAX), EReadError);
    EXPECT_THROW(s.Seek(14), EReadError);
}

TEST(ByteReader, BigEndianAsPngStoresItsNumbers)
{
    // An IHDR's width and height (640 x 480), then a 16-bit transparent grey.
    std::string bytes = test::Hex("00 00 02 80 00 00 01 E0 01 2C 07");
    ByteReader r(bytes);
    EXPECT_EQ(r.U32Be(), 640u);
    EXPECT_EQ(r.U32Be(), 480u);
    EXPECT_EQ(r.U16Be(), 300);
    EXPECT_THROW(r.U16Be(), EReadError); // one byte left
    EXPECT_THROW(r.U32Be(), EReadError);
    EXPECT_EQ(r.U8(), 7);
}

} // namespace
