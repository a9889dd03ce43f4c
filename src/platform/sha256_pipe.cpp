#include "platform/sha256_pipe.h"

namespace tarn::platform {

Sha256Pipe::Sha256Pipe(Sha256& sha) : sha_(&sha), worker_([this] { Work(); }) { }

Sha256Pipe::Sha256Pipe() : worker_([this] { Work(); }) { }

Sha256Pipe::~Sha256Pipe()
{
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return !busy_; });
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void Sha256Pipe::Add(const void* data, size_t size) { Add(*sha_, data, size); }

void Sha256Pipe::Add(Sha256& sha, const void* data, size_t size)
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return !busy_; });
    target_ = &sha, block_ = data, size_ = size, busy_ = true;
    changed_.notify_all();
}

void Sha256Pipe::Wait()
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return !busy_; });
}

void Sha256Pipe::Work()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return busy_ || stop_; });
        if (!busy_)
            return;
        const void* block = block_;
        size_t size = size_;
        Sha256* target = target_;
        guard.unlock();
        target->Update(block, size);
        guard.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace tarn::platform
