#include <map>
#include <random>

#include "archive/hash_collection.h"
#include "base/error.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;

namespace {

class Names : public THashCollection {
public:
    THashCollectionItem& Add(const AnsiString& name)
    {
        THashCollectionItem& item = THashCollection::Add();
        item.SetName(name);
        return item;
    }
};

TEST(HashCollection, HashName)
{
    EXPECT_EQ(THashCollection::HashName("bg01.gal"), 67); // 8 x 16 + 'a' + 'b' = 323 - 256
    EXPECT_EQ(THashCollection::HashName("BG01.GAL"), 67);
    EXPECT_EQ(THashCollection::HashName("x"), 16);
    EXPECT_EQ(THashCollection::HashName(""), 0);
    EXPECT_EQ(THashCollection::HashName("ab"), 226); // 32 + 'a' + 'a'
    // Only length, first and second-to-last byte count.
    EXPECT_EQ(THashCollection::HashName("bg01.gal"), THashCollection::HashName("bg99.gal"));
    // A letter that is the second byte of a two-byte character is not folded:
    // 0x82 0x41 is one character, 0x82 0x61 another (2 x 16 + 0x82 + 0x82 = 292).
    EXPECT_EQ(THashCollection::HashName("\x82\x41"), 36);
    EXPECT_EQ(THashCollection::HashName("x\x82\x41y"), (64 + 'x' + 0x41) % 256);
    EXPECT_EQ(THashCollection::HashName("X\x82\x41y"), (64 + 'x' + 0x41) % 256);
}

TEST(HashCollection, LookupsAfterDeletingAndRenaming)
{
    Names c;
    EXPECT_EQ(c.IndexOf("a.gal"), -1);
    c.Add("a.gal");
    c.Add("b.gal");
    c.Add("c.gal");
    c.Delete(0);
    EXPECT_EQ(c.IndexOf("c.gal"), 1);
    EXPECT_EQ(c.IndexOf("b.gal"), 0);
    EXPECT_EQ(c.IndexOf("a.gal"), -1);
    EXPECT_EQ(c.Item(1).CachedIndex, 1);

    // bg01 and bg02 share a chain and are still told apart.
    Names d;
    d.Add("bg01.gal");
    d.Add("bg02.gal");
    EXPECT_EQ(d.Item(0).Bucket, d.Item(1).Bucket);
    EXPECT_EQ(d.IndexOf("BG02.GAL"), 1);
    EXPECT_EQ(d.IndexOf("Bg01.gal"), 0);
    EXPECT_EQ(d.IndexOf("bg03.gal"), -1);
    EXPECT_THROW(d.Item(2), EListError);
}

TEST(HashCollection, MostRecentlyNamedWins)
{
    Names c;
    c.Add("Bg01.gal");
    c.Add("bg01.GAL");
    EXPECT_EQ(c.IndexOf("BG01.GAL"), 1);
    // The same bytes again change nothing: the later item stays in front.
    c.Item(0).SetName("Bg01.gal");
    EXPECT_EQ(c.IndexOf("BG01.GAL"), 1);
    EXPECT_EQ(c.Buckets[67], &c.Item(1));
    // A name that differs only in case relinks the item at the head.
    c.Item(0).SetName("BG01.gal");
    EXPECT_EQ(c.IndexOf("bg01.gal"), 0);
    EXPECT_EQ(c.Buckets[67], &c.Item(0));
    EXPECT_EQ(c.Item(0).NextInBucket, &c.Item(1));
    EXPECT_EQ(c.Item(1).PrevInBucket, &c.Item(0));
    // Renaming into another bucket unlinks it from this one.
    c.Item(0).SetName("z");
    EXPECT_EQ(c.Item(0).Bucket, 16);
    EXPECT_EQ(c.Buckets[67], &c.Item(1));
    EXPECT_EQ(c.Item(1).PrevInBucket, nullptr);
    EXPECT_EQ(c.IndexOf("BG01.GAL"), 1);
}

TEST(HashCollection, MoveKeepsPositions)
{
    Names c;
    for (const char* n : { "a", "b", "c", "d" })
        c.Add(n);
    c.Move(0, 3);
    EXPECT_EQ(c.IndexOf("a"), 3);
    EXPECT_EQ(c.IndexOf("b"), 0);
    EXPECT_EQ(c.IndexOf("c"), 1);
    EXPECT_EQ(c.IndexOf("d"), 2);
    c.Move(3, 1);
    EXPECT_EQ(c.IndexOf("a"), 1);
    EXPECT_EQ(c.IndexOf("c"), 2);
    for (int32_t i = 0; i < c.Count(); ++i)
        EXPECT_EQ(c.Item(i).CachedIndex, i);
}

TEST(HashCollection, DisplayNameAndAssign)
{
    Names c;
    THashCollectionItem& a = c.Add("");
    EXPECT_EQ(a.DisplayName(), "THashCollectionItem");
    THashCollectionItem& b = c.Add(S(u8"背景.gal"));
    a.Assign(b);
    EXPECT_EQ(a.DisplayName(), S(u8"背景.gal"));
    EXPECT_EQ(c.IndexOf(S(u8"背景.GAL")), 0); // a was named last
}

// Random adds, renames, moves and deletes against a plain model: the answer
// is the most recently named of the items whose names compare equal.
TEST(HashCollection, AgreesWithAPlainModel)
{
    std::mt19937 rng(7);
    const char* pool[] = { "a.gal", "A.GAL", "b.gal", "bg01.gal", "BG02.gal", "x", "", "\x82\x41.ogg", "\x82\x61.ogg", "ab" };
    Names c;
    std::vector<std::pair<AnsiString, uint64_t>> model; // name, time it was last linked
    uint64_t clock = 0;
    for (int step = 0; step < 3000; ++step) {
        int op = static_cast<int>(rng() % 10);
        int n = c.Count();
        if (op < 4 || n == 0) {
            AnsiString name = pool[rng() % 10];
            c.Add(name);
            model.push_back({ name, ++clock });
        } else if (op < 7) {
            int i = static_cast<int>(rng() % n);
            AnsiString name = pool[rng() % 10];
            if (name != model[static_cast<size_t>(i)].first)
                model[static_cast<size_t>(i)] = { name, ++clock };
            c.Item(i).SetName(name);
        } else if (op < 8) {
            int from = static_cast<int>(rng() % n), to = static_cast<int>(rng() % n);
            c.Move(from, to);
            auto item = model[static_cast<size_t>(from)];
            model.erase(model.begin() + from);
            model.insert(model.begin() + to, item);
        } else {
            int i = static_cast<int>(rng() % n);
            c.Delete(i);
            model.erase(model.begin() + i);
        }
        for (const char* probe : pool) {
            int expected = -1;
            uint64_t newest = 0;
            for (size_t i = 0; i < model.size(); ++i)
                if (SameText(model[i].first, probe) && model[i].second > newest)
                    expected = static_cast<int>(i), newest = model[i].second;
            ASSERT_EQ(c.IndexOf(probe), expected) << "step " << step << " probe " << probe;
        }
    }
    for (int32_t i = 0; i < c.Count(); ++i)
        EXPECT_EQ(c.Item(i).CachedIndex, i);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    for (auto* head : c.Buckets)
        EXPECT_EQ(head, nullptr);
}

} // namespace
