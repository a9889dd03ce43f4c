#include "platform/aside.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace tarn::platform {

void RunAside(const std::function<void()>& work, const std::function<void()>& meanwhile, int intervalMs)
{
    if (!meanwhile) {
        work();
        return;
    }
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> guard(lock);
        done = true;
        ended.notify_one();
    });
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock);
            if (ended.wait_for(guard, std::chrono::milliseconds(intervalMs), [&] { return done; }))
                break;
        }
        try {
            meanwhile();
        } catch (...) {
            // The work goes on to its end whatever happens here: it may hold
            // files this thread's callers are about to touch.
            worker.join();
            throw;
        }
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace tarn::platform
