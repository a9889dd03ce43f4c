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
    // Every block into sha; or, without it, each block into the hash it is
    // handed with (one pipe for the entries of an archive, one after another).
    explicit Sha256Pipe(Sha256& sha);
    Sha256Pipe();
    ~Sha256Pipe();
    Sha256Pipe(const Sha256Pipe&) = delete;
    Sha256Pipe& operator=(const Sha256Pipe&) = delete;

    // Hands over the next block, which must stay as it is until the next
    // call; returns once the block before it has been hashed (its buffer is
    // free again).
    void Add(const void* data, size_t size);
    void Add(Sha256& sha, const void* data, size_t size);
    // Waits until every block handed over has been hashed.
    void Wait();

private:
    void Work();

    Sha256* sha_ = nullptr;  // the pipe's own
    Sha256* target_ = nullptr; // the current block's
    std::mutex lock_;
    std::condition_variable changed_;
    const void* block_ = nullptr;
    size_t size_ = 0;
    bool busy_ = false, stop_ = false;
    std::thread worker_;
};

} // namespace tarn::platform
