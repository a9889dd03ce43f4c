#include "base/stream.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "base/messages.h"

namespace tarn {

int32_t TStream::GetSize()
{
    int32_t pos = Seek(0, SeekOrigin::Current);
    int32_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Beginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        ThrowReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        ThrowWriteError();
}

int32_t TStream::CopyFrom(TStream& source, int32_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    constexpr int32_t kChunk = 1 << 20;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kChunk)));
    int32_t done = 0;
    while (done < count) {
        int32_t n = std::min(count - done, kChunk);
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        done += n;
    }
    return done;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count)
{
    if (count <= 0 || position_ >= static_cast<int32_t>(data_.size()))
        return 0;
    int32_t n = std::min(count, static_cast<int32_t>(data_.size()) - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    int64_t end = static_cast<int64_t>(position_) + count;
    if (end > MaxStreamSize)
        return 0;
    if (end > static_cast<int64_t>(data_.size())) {
        if (end > static_cast<int64_t>(data_.capacity()))
            data_.reserve(std::max<size_t>(static_cast<size_t>(end), data_.capacity() + data_.capacity() / 2));
        data_.resize(static_cast<size_t>(end));
    }
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = static_cast<int32_t>(end);
    return count;
}

int32_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin)
{
    int64_t base = origin == SeekOrigin::Beginning ? 0 : origin == SeekOrigin::Current ? position_ : static_cast<int64_t>(data_.size());
    int64_t target = base + offset;
    // The position may lie past the end (a later write fills the gap with zeros),
    // but never outside the 32-bit range.
    position_ = static_cast<int32_t>(std::clamp<int64_t>(target, 0, MaxStreamSize));
    return position_;
}

void TMemoryStream::SetSize(int32_t size)
{
    if (size < 0)
        size = 0;
    data_.resize(static_cast<size_t>(size));
    if (position_ > size)
        position_ = size;
}

void TMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::Assign(std::vector<uint8_t> bytes)
{
    if (bytes.size() > static_cast<size_t>(MaxStreamSize))
        throw EStreamError(msg::StreamTooLarge, {});
    data_ = std::move(bytes);
    position_ = 0;
}

} // namespace tarn
