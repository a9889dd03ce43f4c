// The ordinary stream: 32-bit size and position, read, write, seek.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"

namespace tarn {

enum class SeekOrigin { Beginning, Current, End };

// The largest size an ordinary stream can have (its size is a signed 32-bit value).
constexpr int64_t MaxStreamSize = INT32_MAX;

class TStream {
public:
    virtual ~TStream() = default;

    // Moves up to count bytes; returns how many moved.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Returns the new position.
    virtual int32_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int32_t GetSize();
    virtual void SetSize(int32_t size) = 0;

    int32_t GetPosition() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int32_t position) { Seek(position, SeekOrigin::Beginning); }

    // All or an error: "ストリームからの読み込みエラー" / "ストリームへの書き込みエラー".
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
    // Copies count bytes from source's position (count 0: the whole source from
    // its start). A side that moves fewer bytes than asked raises its error.
    int32_t CopyFrom(TStream& source, int32_t count);
};

class TMemoryStream : public TStream {
public:
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int64_t offset, SeekOrigin origin) override;
    int32_t GetSize() override { return static_cast<int32_t>(data_.size()); }
    void SetSize(int32_t size) override;

    void Clear();
    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    // Takes or gives the whole contents at once (position 0 afterwards).
    void Assign(std::vector<uint8_t> bytes);
    std::vector<uint8_t>& Bytes() { return data_; }

private:
    std::vector<uint8_t> data_;
    int32_t position_ = 0;
};

} // namespace tarn
