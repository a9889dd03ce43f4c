#include "archive/tp_random.h"
#include "base/error.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

TEST(TpRandom, Sequences)
{
    TTpRandom zero(0);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(zero.Next(), 0u);
    TTpRandom one(1);
    for (uint32_t v : { 1u, 6u, 31u, 156u, 781u })
        EXPECT_EQ(one.Next(), v);
    // Wrap-around modulo 2^32: seed 0x80000000 gives 0x80000000, then 6 x seed = 0.
    TTpRandom high(INT32_MIN);
    EXPECT_EQ(high.Next(), 0x80000000u);
    EXPECT_EQ(high.Next(), 0u);
    // The archive's seed, worked out by hand: 1513920225, then 6 x that mod 2^32.
    TTpRandom archive(1513920225);
    EXPECT_EQ(archive.Next(), 1513920225u);
    EXPECT_EQ(archive.Next(), static_cast<uint32_t>(6ull * 1513920225ull));
}

TEST(TpRandom, PoolPermutations)
{
    TTpRandom r(1);
    r.ResetPool(3);
    EXPECT_EQ(r.DrawFromPool(), 1); // state 1: index 1 of {0,1,2}
    EXPECT_EQ(r.DrawFromPool(), 0); // state 6: index 0 of {0,2}
    EXPECT_EQ(r.DrawFromPool(), 2); // state 31: index 0 of {2}
    EXPECT_THROW(r.DrawFromPool(), EListError);

    TTpRandom any(123456789);
    any.Next();
    any.ResetPool(1);
    EXPECT_EQ(any.DrawFromPool(), 0);
    EXPECT_EQ(any.State, static_cast<uint32_t>(6ull * 123456789ull)); // the draw advanced it

    // A state with the top bit set is divided as unsigned: 4294967295 mod 5 = 0.
    TTpRandom top(-1); // seed 0xFFFFFFFF: the first state is 4294967295
    top.ResetPool(5);
    EXPECT_EQ(top.DrawFromPool(), 0);

    TTpRandom keep(7);
    keep.Next();
    uint32_t state = keep.State;
    keep.ResetPool(0);
    EXPECT_EQ(keep.State, state); // ResetPool leaves the sequence alone
    EXPECT_EQ(keep.PoolSize(), 0u);
}

} // namespace
