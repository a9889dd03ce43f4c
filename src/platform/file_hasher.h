// Hashing files on a thread of its own, a little behind the copy that has
// just read them: the copy goes on in the kernel at its own speed, and the
// hash reads the bytes from the page cache that copy filled (never more than
// `behind` bytes later, so that they are still there).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "base/text.h"
#include "platform/sha256.h"

namespace tarn::platform {

class FileHasher {
public:
    // The digest of a file's bytes, or nothing when it could not be read
    // whole (missing, unreadable, not of the size expected).
    using Done = std::function<void(std::optional<Sha256Digest>)>;

    explicit FileHasher(int64_t behind = int64_t(256) << 20);
    // Drops what is not hashed yet; no Done is called any more.
    ~FileHasher();
    FileHasher(const FileHasher&) = delete;
    FileHasher& operator=(const FileHasher&) = delete;

    // Queues the file at path, of size bytes; waits while more than
    // `behind` bytes, or kFilesBehind files, wait to be hashed. The Done of files hashed by then are
    // called here, in the order the files were queued.
    void Add(const AnsiString& path, int64_t size, Done done);
    // Waits until every file queued is hashed and its Done has been called.
    void Wait();

    static constexpr size_t kFilesBehind = 64;

private:
    struct Job {
        AnsiString path;
        int64_t size = 0;
        Done done;
        std::optional<Sha256Digest> digest;
        bool hashed = false;
    };
    void Work();
    // Calls the Done of the hashed files at the front of the queue (lock held
    // on entry and on return, released around the calls).
    void Deliver(std::unique_lock<std::mutex>& guard);

    const int64_t behind_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> jobs_; // in order; the worker hashes the first not hashed
    int64_t waiting_ = 0;  // bytes queued and not hashed yet
    bool stop_ = false;
    std::thread worker_;
};

} // namespace tarn::platform
