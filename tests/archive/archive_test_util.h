// Helpers of the archive tests: archive bytes assembled from the format's
// tables by code of the tests' own (its own key generator, its own layout),
// zlib streams made by zlib itself, and file operations that fail on demand.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "archive/file_ops.h"

namespace tarn::vftest {

// The archive key's values, computed in 64 bits and reduced: x(n) = 5 x(n-1) + seed.
class Key {
public:
    uint32_t Next()
    {
        state_ = (state_ * 5 + 1513920225ull) % 4294967296ull;
        return static_cast<uint32_t>(state_);
    }

private:
    uint64_t state_ = 0;
};

struct Entry {
    std::string name;
    std::string bytes; // as stored in the archive
    uint8_t stored = 0;
};

inline void PutI32(std::string& out, int64_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

// An archive as it lies in a file at position base: magic unless version 0,
// names and offsets scrambled from 100 on, flags from 101 on, entries back to
// back after the tables. Offsets count from the start of the file.
inline std::string Build(int32_t version, const std::vector<Entry>& entries, int64_t base = 0)
{
    std::string out;
    if (version != 0) {
        out += "vf";
        PutI32(out, version);
    }
    PutI32(out, static_cast<int64_t>(entries.size()));
    Key names;
    for (const Entry& e : entries) {
        PutI32(out, static_cast<int64_t>(e.name.size()));
        for (char c : e.name)
            out += static_cast<char>(version >= 100 ? static_cast<uint8_t>(c) ^ (names.Next() & 0xFF) : static_cast<uint8_t>(c));
    }
    int64_t data = base + static_cast<int64_t>(out.size()) + 4 * (static_cast<int64_t>(entries.size()) + 1) +
                   (version >= 101 ? static_cast<int64_t>(entries.size()) : 0);
    Key offsets;
    for (size_t i = 0; i <= entries.size(); ++i) {
        uint32_t value = static_cast<uint32_t>(data);
        PutI32(out, version >= 100 ? value ^ offsets.Next() : value);
        if (i < entries.size())
            data += static_cast<int64_t>(entries[i].bytes.size());
    }
    if (version >= 101)
        for (const Entry& e : entries)
            out += static_cast<char>(e.stored);
    for (const Entry& e : entries)
        out += e.bytes;
    return out;
}

// A zlib stream (header, deflate data, Adler-32) of content, made by zlib.
inline std::string Zlib(std::string_view content, int level = 6)
{
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(content.data()),
              static_cast<uLong>(content.size()), level);
    out.resize(size);
    return out;
}

// Counts the operations that can fail and makes the one numbered failAt
// (0-based, among those of the kinds selected) fail the way a full or broken
// disk would: no file, a short read or write, a refused rename.
class FailingOps : public TArchiveFileOps {
public:
    int failAt = -1;
    int count = 0;
    std::string kinds = "open read write copy sync remove rename"; // the kinds that are counted
    std::vector<std::string> log;

    std::unique_ptr<platform::File> Open(std::string_view path, platform::File::Mode mode) override
    {
        return Hit("open", path) ? nullptr : TArchiveFileOps::Open(path, mode);
    }
    int64_t Read(platform::File& file, void* buffer, int64_t n) override
    {
        return TArchiveFileOps::Read(file, buffer, Hit("read", {}) ? n / 2 : n);
    }
    int64_t Write(platform::File& file, const void* buffer, int64_t n) override
    {
        return TArchiveFileOps::Write(file, buffer, Hit("write", {}) ? n / 2 : n);
    }
    int64_t CopyRange(platform::File& from, platform::File& to, int64_t n) override
    {
        return TArchiveFileOps::CopyRange(from, to, Hit("copy", {}) ? n / 2 : n);
    }
    bool Sync(platform::File& file) override { return !Hit("sync", {}) && TArchiveFileOps::Sync(file); }
    bool Remove(std::string_view path) override { return !Hit("remove", path) && TArchiveFileOps::Remove(path); }
    bool Rename(std::string_view from, std::string_view to) override
    {
        return !Hit("rename", from) && TArchiveFileOps::Rename(from, to);
    }

private:
    bool Hit(const std::string& kind, std::string_view path)
    {
        if (kinds.find(kind) == std::string::npos)
            return false;
        std::lock_guard<std::mutex> guard(lock_); // a merge reads on a second thread
        log.push_back(kind + " " + std::string(path));
        return count++ == failAt;
    }
    std::mutex lock_;
};

} // namespace tarn::vftest
