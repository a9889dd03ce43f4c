#include "archive/tp_random.h"

#include "base/error.h"
#include "base/messages.h"

namespace tarn {

void TTpRandom::ResetPool(int32_t count)
{
    Pool.clear();
    if (count <= 0)
        return;
    Pool.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        Pool.push_back(i);
}

int32_t TTpRandom::DrawFromPool()
{
    if (Pool.empty())
        throw EListError(msg::ListIndex, { 0 });
    Step();
    size_t index = State % static_cast<uint32_t>(Pool.size());
    int32_t value = Pool[index];
    Pool.erase(Pool.begin() + static_cast<std::ptrdiff_t>(index));
    return value;
}

} // namespace tarn
