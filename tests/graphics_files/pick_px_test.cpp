// The pixel readers and the run planner.
#include "graphics/pick_px.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

TEST(PickPx, EveryWidthReadsSkipsAndRewinds)
{
    const uint8_t bytes[] = { 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xEE };
    TPickPx p8;
    TPickPx16 p16;
    TPickPx24 p24;
    TPickPx32 p32;
    struct Case {
        TPickPx* reader;
        uint32_t first, third;
        size_t width;
    } cases[] = {
        { &p8, 0x01, 0x03, 1 },
        { &p16, 0x0201, 0x0605, 2 },
        { &p24, 0x030201, 0x090807, 3 },
        { &p32, 0x04030201, 0x0C0B0A09, 4 },
    };
    for (Case& c : cases) {
        TPickPx& r = *c.reader; // through the base, as the virtual slots are meant
        r.Start = bytes;
        r.Rewind();
        EXPECT_EQ(r.Next(), c.first);
        r.Skip(1);
        EXPECT_EQ(r.CurrentAddress(), bytes + 2 * c.width);
        EXPECT_EQ(r.Next(), c.third);
        r.Rewind();
        EXPECT_EQ(r.CurrentAddress(), bytes);
    }
    // The 24-bit reader reads four bytes and clears the top one: the last
    // pixel needs the spare byte after it, which never shows.
    p24.Start = bytes + 9;
    p24.Rewind();
    EXPECT_EQ(p24.Next(), 0x0C0B0Au);
}

// Plans values as the TGA writer does and returns the packets: +n for a run, -n for a group.
std::vector<int32_t> Packets(const std::vector<int32_t>& values, TPxList* keep = nullptr)
{
    TPxList plan;
    for (int32_t v : values) {
        if (plan.Continues(v))
            plan.Extend();
        else
            plan.Add(v);
    }
    plan.Rewind();
    std::vector<int32_t> out;
    bool isRun;
    int32_t count;
    while (plan.NextPacket(isRun, count))
        out.push_back(isRun ? count : -count);
    if (keep)
        *keep = plan;
    return out;
}

TEST(PxList, RunsAndGroups)
{
    TPxList plan;
    EXPECT_EQ(Packets({ 'A', 'A', 'A', 'B', 'C', 'C' }, &plan), (std::vector<int32_t> { 3, -1, 2 }));
    EXPECT_EQ(plan.Runs(), (std::vector<uint8_t> { 3, 1, 2 }));
    // 130 equal pixels: the first run closes at 128 and the 129th starts a new one.
    EXPECT_EQ(Packets(std::vector<int32_t>(130, 9), &plan), (std::vector<int32_t> { 128, 2 }));
    EXPECT_EQ(plan.Runs(), (std::vector<uint8_t> { 128, 2 }));
    EXPECT_EQ(Packets(std::vector<int32_t>(300, 9)), (std::vector<int32_t> { 128, 128, 44 }));
    std::vector<int32_t> different(200);
    for (int32_t i = 0; i < 200; ++i)
        different[static_cast<size_t>(i)] = i;
    EXPECT_EQ(Packets(different), (std::vector<int32_t> { -128, -72 }));
    EXPECT_EQ(Packets({}), std::vector<int32_t> {});
    // Singles between runs form their own groups; a negative value is a value like any other.
    EXPECT_EQ(Packets({ 1, 2, 2, 3, 4, -1, -1 }), (std::vector<int32_t> { -1, 2, -2, 2 }));

    TPxList empty;
    EXPECT_FALSE(empty.Continues(0)); // no run yet, although LastValue is 0
    empty.Add(4);
    empty.Extend();
    EXPECT_EQ(empty.Runs(), (std::vector<uint8_t> { 2 })); // a growing run reads as it stands
    empty.Extend();
    EXPECT_EQ(empty.Runs(), (std::vector<uint8_t> { 3 }));
    empty.Clear();
    EXPECT_FALSE(empty.Continues(4));
    empty.Add(4);
    for (int i = 1; i < 127; ++i)
        empty.Extend();
    EXPECT_TRUE(empty.Continues(4));
    empty.Extend();
    EXPECT_TRUE(empty.Closed);
    EXPECT_FALSE(empty.Continues(4));
    // The reading position ends past the last run until Rewind.
    bool isRun;
    int32_t count;
    ASSERT_TRUE(empty.NextPacket(isRun, count));
    EXPECT_FALSE(empty.NextPacket(isRun, count));
    empty.Rewind();
    EXPECT_TRUE(empty.NextPacket(isRun, count));
    EXPECT_TRUE(isRun);
    EXPECT_EQ(count, 128);
}

} // namespace
