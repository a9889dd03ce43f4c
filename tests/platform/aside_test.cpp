// Waits done aside while the caller keeps answering.
#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/aside.h"
#include "platform/platform.h"
#include "support/test_support.h"

using namespace tarn;

namespace {

TEST(RunAside, TheCallerListensUntilTheWorkEndsAndHearsOfItsFailure)
{
    std::atomic<bool> finished{ false };
    int calls = 0;
    platform::RunAside(
        [&] {
            platform::SleepMs(200);
            finished = true;
        },
        [&] {
            EXPECT_FALSE(finished); // never after the work has ended
            ++calls;
        },
        10);
    EXPECT_TRUE(finished);
    EXPECT_GE(calls, 5);

    EXPECT_THROW(platform::RunAside([] { throw std::runtime_error("disk gone"); }, [] {}), std::runtime_error);
    // Without anything to do meanwhile the work runs on the caller's thread.
    std::thread::id where;
    platform::RunAside([&] { where = std::this_thread::get_id(); }, {});
    EXPECT_EQ(where, std::this_thread::get_id());
}

TEST(RunAside, AFailureMeanwhileWaitsForTheWorkFirst)
{
    std::atomic<bool> finished{ false };
    EXPECT_THROW(platform::RunAside(
                     [&] {
                         platform::SleepMs(100);
                         finished = true;
                     },
                     [] { throw std::runtime_error("the window went"); }, 5),
                 std::runtime_error);
    EXPECT_TRUE(finished);
}

} // namespace
