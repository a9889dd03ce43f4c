// Pixel readers and the run planner of the TGA run-length encoder: the
// readers walk a packed pixel buffer one pixel at a time whatever the pixel
// width; the planner records runs of equal pixels and hands them back as TGA
// packets (runs of up to 128 equal pixels, groups of up to 128 single ones).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tarn {

static_assert(std::endian::native == std::endian::little, "the pixel readers read little-endian values in place");

// One byte per pixel.
class TPickPx {
public:
    virtual ~TPickPx() = default;

    // The next pixel to read, and the first pixel of the buffer (set before Rewind).
    const uint8_t* Current = nullptr;
    const uint8_t* Start = nullptr;

    // The pixel at Current; Current moves past it.
    virtual uint32_t Next() { return *Current++; }
    virtual void Skip(int32_t count) { Current += count; }
    void Rewind() { Current = Start; }
    const uint8_t* CurrentAddress() const { return Current; }
};

// A little-endian word per pixel.
class TPickPx16 final : public TPickPx {
public:
    uint32_t Next() override
    {
        uint16_t v;
        std::memcpy(&v, Current, 2);
        Current += 2;
        return v;
    }
    void Skip(int32_t count) override { Current += 2 * static_cast<intptr_t>(count); }
};

// Three bytes per pixel, read as four with the top byte cleared: the buffer
// must hold one byte beyond its last pixel.
class TPickPx24 final : public TPickPx {
public:
    uint32_t Next() override
    {
        uint32_t v;
        std::memcpy(&v, Current, 4);
        Current += 3;
        return v & 0xFFFFFF;
    }
    void Skip(int32_t count) override { Current += 3 * static_cast<intptr_t>(count); }
};

// A little-endian 32-bit value per pixel.
class TPickPx32 final : public TPickPx {
public:
    uint32_t Next() override
    {
        uint32_t v;
        std::memcpy(&v, Current, 4);
        Current += 4;
        return v;
    }
    void Skip(int32_t count) override { Current += 4 * static_cast<intptr_t>(count); }
};

// Runs of equal pixels, one length (1 .. 128) per run, read back as packets.
class TPxList {
public:
    int32_t LastValue = 0;
    // The last run has reached 128 pixels and may not grow.
    bool Closed = false;
    // The reading position in Runs.
    int32_t Position = 0;

    static constexpr int32_t MaxPacket = 128;

    // A new run of one pixel.
    void Add(int32_t value)
    {
        Settle();
        runs_.push_back(1);
        last_ = 1;
        LastValue = value;
        Closed = false;
    }
    // One more pixel for the last run.
    void Extend()
    {
        if (++last_ == MaxPacket)
            Closed = true;
    }
    bool Continues(int32_t value) const { return !runs_.empty() && !Closed && value == LastValue; }
    void Rewind()
    {
        Settle();
        Position = 0;
    }
    // The next packet: a run of Count equal pixels (IsRun), or a group of
    // Count single pixels. False when every run has been handed out.
    bool NextPacket(bool& isRun, int32_t& count);

    // The runs' lengths, one byte per run.
    const std::vector<uint8_t>& Runs()
    {
        Settle();
        return runs_;
    }
    // No runs; room for capacity of them.
    void Clear(size_t capacity = 0)
    {
        runs_.clear();
        runs_.reserve(capacity);
        last_ = 0;
        Closed = false;
        Position = 0;
    }

private:
    // The last run's length is counted in last_ while the run grows (a byte
    // in memory updated for every pixel would hold every pixel up for the
    // one before it) and stored when it ends or the runs are read.
    void Settle()
    {
        if (!runs_.empty())
            runs_.back() = static_cast<uint8_t>(last_);
    }

    std::vector<uint8_t> runs_;
    int32_t last_ = 0;
};

} // namespace tarn
