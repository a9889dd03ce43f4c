// SHA-256 from the system, and copies that hash what they copy.
#include "platform/file_hasher.h"
#include "platform/file_routines.h"
#include "platform/sha256.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::TempDir;

namespace {

std::string Hex(std::string_view bytes) { return platform::Sha256::Hex(platform::Sha256::Of(bytes)); }

TEST(Sha256, TheStandardsExamples)
{
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million a's, given in pieces of odd sizes: the object keeps state across them.
    platform::Sha256 sha;
    std::string piece(997, 'a');
    size_t left = 1000000;
    while (left > 0) {
        size_t n = std::min(left, piece.size());
        sha.Update(piece.data(), n);
        left -= n;
    }
    EXPECT_EQ(platform::Sha256::Hex(sha.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // And starts over afterwards.
    sha.Update("abc");
    EXPECT_EQ(platform::Sha256::Hex(sha.Finish()), Hex("abc"));
}

TEST(Sha256, ACopyHashesWhatItCopiesOrWhatItLeaves)
{
    TempDir dir;
    // Larger than one block of the copy, so that it is hashed beside the writing.
    std::string big(size_t(5) << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 4096);
    for (const auto& [name, bytes] : { std::pair<const char*, std::string>{ "big", big }, { "small", "read me" }, { "empty", "" } }) {
        SCOPED_TRACE(name);
        test::WriteFile(dir / name, bytes);
        platform::Sha256Digest digest{};
        int reports = 0;
        EXPECT_EQ(CopyIfChangedOutcome(dir / name, dir / (std::string(name) + ".copy"), true,
                                       [&](int64_t) { return ++reports > 0; }, &digest),
                  CopyOutcome::Copied);
        EXPECT_EQ(platform::Sha256::Hex(digest), Hex(bytes));
        EXPECT_EQ(test::ReadFile(dir / (std::string(name) + ".copy")), bytes);
        // Left as it was: the target's bytes are read for the digest.
        digest = {};
        EXPECT_EQ(CopyIfChangedOutcome(dir / name, dir / (std::string(name) + ".copy"), true, {}, &digest), CopyOutcome::Unchanged);
        EXPECT_EQ(platform::Sha256::Hex(digest), Hex(bytes));
    }
    EXPECT_EQ(platform::Sha256::Hex(*HashFile(dir / "big")), Hex(big));
    EXPECT_FALSE(HashFile(dir / "missing"));
    // A hashed copy stops as any other.
    platform::Sha256Digest digest{};
    EXPECT_EQ(CopyIfChangedOutcome(dir / "big", dir / "stopped", true, [](int64_t) { return false; }, &digest), CopyOutcome::Stopped);
    EXPECT_FALSE(platform::FileExists(dir / "stopped"));
}

// Files hashed behind the copy: each Done gets the digest of the file's
// bytes, or nothing for a file that is missing or not of the size given,
// and they come in the order the files were queued, whatever their sizes.
TEST(FileHasher, DigestsInTheOrderQueued)
{
    TempDir dir;
    std::string big(size_t(3) << 20, 'b');
    big[12345] = 'x';
    test::WriteFile(dir / "big", big);
    test::WriteFile(dir / "small", "small");
    test::WriteFile(dir / "empty", "");
    std::vector<std::string> got;
    {
        // Little room behind: Add waits for the hashing of what is queued.
        platform::FileHasher hasher(1024);
        auto note = [&](std::string name) {
            return [&got, name](std::optional<platform::Sha256Digest> d) { got.push_back(name + "=" + (d ? platform::Sha256::Hex(*d) : "none")); };
        };
        hasher.Add(dir / "big", static_cast<int64_t>(big.size()), note("big"));
        hasher.Add(dir / "missing", 10, note("missing"));
        hasher.Add(dir / "small", 5, note("small"));
        hasher.Add(dir / "small", 6, note("shorter"));
        hasher.Add(dir / "empty", 0, note("empty"));
        hasher.Wait();
        hasher.Wait(); // nothing more to hand on
    }
    EXPECT_EQ(got, (std::vector<std::string>{ "big=" + Hex(big), "missing=none", "small=" + Hex("small"), "shorter=none",
                                              "empty=" + Hex("") }));
    // What has not been handed on when the hasher goes is dropped: the
    // last file queued at least, whose Done no call could have made.
    int told = 0, toldBefore = 0;
    {
        platform::FileHasher hasher;
        for (int i = 0; i < 20; ++i)
            hasher.Add(dir / "big", static_cast<int64_t>(big.size()), [&](auto) { ++told; });
        toldBefore = told;
    }
    EXPECT_EQ(told, toldBefore);
    EXPECT_LT(told, 20);
}

} // namespace
