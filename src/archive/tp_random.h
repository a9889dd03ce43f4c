// The engine's deterministic generator: a reproducible keystream and
// reproducible permutations from a 32-bit seed (archive directory scrambling,
// Gale row and tile order). Every value must be reproduced bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

class TTpRandom {
public:
    explicit TTpRandom(int32_t seed) : Seed(static_cast<uint32_t>(seed)) { }

    // Advances the state once and returns it: seed, 6 x seed, 31 x seed, ...
    uint32_t Next()
    {
        Step();
        return State;
    }
    // The pool becomes 0, 1, ..., count - 1; the state is not touched.
    void ResetPool(int32_t count);
    // Advances the state once and takes pool[state mod pool size] out of the
    // pool (unsigned division); later elements move down in order.
    // Raises EListError on an empty pool.
    int32_t DrawFromPool();
    size_t PoolSize() const { return Pool.size(); }

    uint32_t Seed;
    uint32_t State = 0;

private:
    void Step() { State = (State << 2) + State + Seed; }
    std::vector<int32_t> Pool;
};

} // namespace tarn
