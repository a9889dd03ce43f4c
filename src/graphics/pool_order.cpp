#include "graphics/pool_order.h"

#include "archive/tp_random.h"

namespace tarn {

std::vector<int32_t> PoolOrder(int32_t seed, int32_t n)
{
    std::vector<int32_t> order;
    if (n <= 0)
        return order;
    order.reserve(static_cast<size_t>(n));
    // A Fenwick tree over the pool's slots counts the values still in it.
    std::vector<int32_t> tree(static_cast<size_t>(n) + 1, 0);
    for (int32_t i = 1; i <= n; ++i) {
        tree[static_cast<size_t>(i)] += 1;
        int32_t parent = i + (i & -i);
        if (parent <= n)
            tree[static_cast<size_t>(parent)] += tree[static_cast<size_t>(i)];
    }
    int32_t top = 1;
    while (top * 2 <= n)
        top *= 2;
    TTpRandom random(seed);
    for (int32_t left = n; left > 0; --left) {
        // The value at index state mod left among those still in the pool.
        uint32_t index = random.Next() % static_cast<uint32_t>(left);
        int32_t pos = 0;
        int32_t remaining = static_cast<int32_t>(index);
        for (int32_t step = top; step > 0; step >>= 1) {
            int32_t next = pos + step;
            if (next <= n && tree[static_cast<size_t>(next)] <= remaining) {
                pos = next;
                remaining -= tree[static_cast<size_t>(next)];
            }
        }
        order.push_back(pos); // slot pos + 1 holds the value pos
        for (int32_t i = pos + 1; i <= n; i += i & -i)
            tree[static_cast<size_t>(i)] -= 1;
    }
    return order;
}

} // namespace tarn
