// A small deterministic generator: the synthetic market must give the same tape for the same seed on every
// machine, which the standard library's distributions do not promise.
#pragma once

#include <cmath>
#include <cstdint>

namespace tarnwell::vendor {

inline uint64_t Mix(uint64_t a, uint64_t b) {
  uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// Uniform in (0, 1).
  double Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }
  /// Box-Muller gives normals in pairs; the second is kept for the next call.
  double Normal() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(Uniform()));
    const double angle = 6.283185307179586 * Uniform();
    spare_ = radius * std::sin(angle);
    has_spare_ = true;
    return radius * std::cos(angle);
  }
  double Exponential(double rate) { return -std::log(Uniform()) / rate; }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(double p) { return Uniform() < p; }

 private:
  uint64_t state_;
  double spare_ = 0;
  bool has_spare_ = false;
};

}  // namespace tarnwell::vendor
