// Hashing that keeps up with a copy: the blocks a copy reads are hashed on a
// thread of their own while the copy writes them and reads the next, so the
// digest costs the copy next to nothing where a second core is free.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "platform/sha256.h"

namespace tarn::platform {

class Sha256Pipe {
public:
    explicit Sha256Pipe(Sha256& sha);
    ~Sha256Pipe();
    Sha256Pipe(const Sha256Pipe&) = delete;
    Sha256Pipe& operator=(const Sha256Pipe&) = delete;

    // Hands over the next block, which must stay as it is until the next
    // call; returns once the block before it has been hashed (its buffer is
    // free again).
    void Add(const void* data, size_t size);
    // Waits until every block handed over has been hashed.
    void Wait();

private:
    void Work();

    Sha256& sha_;
    std::mutex lock_;
    std::condition_variable changed_;
    const void* block_ = nullptr;
    size_t size_ = 0;
    bool busy_ = false, stop_ = false;
    std::thread worker_;
};

} // namespace tarn::platform
