// The file operations that the archive code performs. Everything that can
// fail on a full or flaky disk (opening, reading, writing, syncing, renaming,
// deleting) goes through one replaceable object, so that tests can make any
// single operation fail and check that no archive is ever lost.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace tarn {

class TArchiveFileOps {
public:
    virtual ~TArchiveFileOps() = default;

    virtual bool Exists(std::string_view path);
    // nullptr when the file cannot be opened (or created).
    virtual std::unique_ptr<platform::File> Open(std::string_view path, platform::File::Mode mode);
    // Counts as platform::File reports them: short only at the end or on an error.
    virtual int64_t Read(platform::File& file, void* buffer, int64_t count);
    virtual int64_t Write(platform::File& file, const void* buffer, int64_t count);
    virtual int64_t CopyRange(platform::File& source, platform::File& target, int64_t count);
    virtual bool Sync(platform::File& file);
    virtual bool Remove(std::string_view path);
    virtual bool Rename(std::string_view from, std::string_view to);
};

// The operations in force (the real file system unless a test replaced them).
TArchiveFileOps& ArchiveFileOps();

// Puts ops in force for the life of the object; the previous ones come back after.
class TScopedArchiveFileOps {
public:
    explicit TScopedArchiveFileOps(TArchiveFileOps& ops);
    ~TScopedArchiveFileOps();
    TScopedArchiveFileOps(const TScopedArchiveFileOps&) = delete;
    TScopedArchiveFileOps& operator=(const TScopedArchiveFileOps&) = delete;

private:
    TArchiveFileOps* previous_;
};

} // namespace tarn
