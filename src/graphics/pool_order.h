// The order in which the engine's generator draws 0 .. n - 1 from its pool,
// as TTpRandom::DrawFromPool gives it, in O(n log n): rows and tiles of Gale
// images can number in the millions, where removing from the middle of an
// array would take quadratic time.
#pragma once

#include <cstdint>
#include <vector>

namespace tarn {

// Element k is the value of the k-th draw after ResetPool(n) on a generator
// with the given seed whose state starts at 0.
std::vector<int32_t> PoolOrder(int32_t seed, int32_t n);

} // namespace tarn
