#include "graphics/pick_px.h"

namespace tarn {

bool TPxList::NextPacket(bool& isRun, int32_t& count)
{
    Settle();
    const std::vector<uint8_t>& runs = runs_;
    const int32_t total = static_cast<int32_t>(runs.size());
    if (Position >= total)
        return false;
    if (runs[static_cast<size_t>(Position)] >= 2) {
        isRun = true;
        count = runs[static_cast<size_t>(Position)];
        ++Position;
        return true;
    }
    // Single pixels that follow each other share one literal packet.
    int32_t end = Position;
    while (end < total && end - Position < MaxPacket && runs[static_cast<size_t>(end)] == 1)
        ++end;
    isRun = false;
    count = end - Position;
    Position = end;
    return true;
}

} // namespace tarn
