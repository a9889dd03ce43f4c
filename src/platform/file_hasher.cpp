#include "platform/file_hasher.h"

#include <algorithm>

#include "platform/file_routines.h"

namespace tarn::platform {

FileHasher::FileHasher(int64_t behind) : behind_(behind), worker_([this] { Work(); }) { }

FileHasher::~FileHasher()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void FileHasher::Add(const AnsiString& path, int64_t size, Done done)
{
    std::unique_lock<std::mutex> guard(lock_);
    // Never many files behind either: what has been copied is recorded soon
    // after, also when the hashing thread gets little time. (Room enough for
    // the hashing of a few large files to go on while the copy goes on.)
    for (;;) {
        Deliver(guard);
        if (waiting_ <= behind_ && jobs_.size() < kFilesBehind)
            break;
        changed_.wait(guard);
    }
    jobs_.push_back(Job{ path, size, std::move(done), std::nullopt, false });
    waiting_ += size;
    changed_.notify_all();
}

void FileHasher::Wait()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        Deliver(guard);
        if (jobs_.empty())
            return;
        changed_.wait(guard, [this] { return jobs_.front().hashed; });
    }
}

void FileHasher::Deliver(std::unique_lock<std::mutex>& guard)
{
    while (!jobs_.empty() && jobs_.front().hashed) {
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        guard.unlock();
        job.done(job.digest);
        guard.lock();
    }
}

void FileHasher::Work()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        auto next = jobs_.end();
        changed_.wait(guard, [&] {
            next = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.hashed; });
            return stop_ || next != jobs_.end();
        });
        if (stop_)
            return;
        AnsiString path = next->path;
        int64_t size = next->size;
        guard.unlock();
        std::optional<Sha256Digest> digest = HashFile(path, size);
        guard.lock();
        // Only the caller's thread takes jobs off the front, and only hashed
        // ones: the job is still where it was.
        auto job = std::find_if(jobs_.begin(), jobs_.end(), [](const Job& j) { return !j.hashed; });
        job->digest = digest;
        job->hashed = true;
        waiting_ -= size;
        changed_.notify_all();
    }
}

} // namespace tarn::platform
