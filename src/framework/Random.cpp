#include "framework/Random.h"

#include <mutex>
#include <optional>
#include <random>

#include "framework/Clock.h"

namespace tarnwell {
namespace {

std::mutex lock;
std::optional<std::mt19937_64> generator;  // guarded by lock

}  // namespace

double UniformRandom() {
  std::lock_guard guard(lock);
  if (!generator) generator.emplace(static_cast<std::uint64_t>(clock::NowUnixSeconds() * 1e6));
  return std::uniform_real_distribution<double>(0.0, 1.0)(*generator);
}

void SeedRandom(std::uint64_t seed) {
  std::lock_guard guard(lock);
  generator.emplace(seed);
}

}  // namespace tarnwell
