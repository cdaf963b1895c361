#pragma once
// The alerts' one source of chance (the jitter some alert qualities carry): seeded from the clock at first
// use, or with a fixed seed where the same input must give the same output every time (a replay).

#include <cstdint>

namespace tarnwell {

/// A number drawn uniformly from [0, 1). Any thread.
double UniformRandom();
/// Restarts the sequence from a seed. Any thread.
void SeedRandom(std::uint64_t seed);

}  // namespace tarnwell
