// Bounds-checked reading of bytes in memory (little-endian unless a name says Be). Every parser reads
// through it: running past the end raises EReadError instead of reading on.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/error.h"
#include "base/text.h"

namespace tarn {

class ByteReader {
public:
    ByteReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) { }
    explicit ByteReader(std::string_view bytes) : ByteReader(bytes.data(), bytes.size()) { }

    size_t Size() const { return size_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ == size_; }
    void Seek(size_t position)
    {
        if (position > size_)
            ThrowReadError();
        pos_ = position;
    }
    void Skip(size_t count) { Need(count), pos_ += count; }

    uint8_t U8() { return Need(1), data_[pos_++]; }
    uint16_t U16()
    {
        Need(2);
        uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t U32()
    {
        Need(4);
        uint32_t v = static_cast<uint32_t>(data_[pos_]) | static_cast<uint32_t>(data_[pos_ + 1]) << 8 |
                     static_cast<uint32_t>(data_[pos_ + 2]) << 16 | static_cast<uint32_t>(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    // Big-endian, for the formats that store numbers so (PNG).
    uint16_t U16Be()
    {
        Need(2);
        uint16_t v = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    uint32_t U32Be()
    {
        Need(4);
        uint32_t v = static_cast<uint32_t>(data_[pos_]) << 24 | static_cast<uint32_t>(data_[pos_ + 1]) << 16 |
                     static_cast<uint32_t>(data_[pos_ + 2]) << 8 | static_cast<uint32_t>(data_[pos_ + 3]);
        pos_ += 4;
        return v;
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    int32_t I32() { return static_cast<int32_t>(U32()); }

    void Read(void* out, size_t count)
    {
        Need(count);
        if (count)
            std::memcpy(out, data_ + pos_, count);
        pos_ += count;
    }
    // A view of the next count bytes (valid while the data lives).
    std::string_view Take(size_t count)
    {
        Need(count);
        std::string_view v(reinterpret_cast<const char*>(data_ + pos_), count);
        pos_ += count;
        return v;
    }
    const uint8_t* Current() const { return data_ + pos_; }

private:
    void Need(size_t count) const
    {
        if (count > size_ - pos_)
            ThrowReadError();
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Little-endian writing into a byte string, the counterpart used by writers.
class ByteWriter {
public:
    void U8(uint8_t v) { bytes_ += static_cast<char>(v); }
    void U16(uint16_t v) { U8(static_cast<uint8_t>(v)), U8(static_cast<uint8_t>(v >> 8)); }
    void U32(uint32_t v) { U16(static_cast<uint16_t>(v)), U16(static_cast<uint16_t>(v >> 16)); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Bytes(std::string_view b) { bytes_.append(b); }
    void Bytes(const void* p, size_t n) { bytes_.append(static_cast<const char*>(p), n); }
    const std::string& Data() const { return bytes_; }
    std::string& Data() { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    std::string bytes_;
};

} // namespace tarn
