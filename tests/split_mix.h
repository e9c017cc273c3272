// The tests' random numbers: SplitMix64, so a seed gives the same numbers
// with every compiler and standard library (the standard distributions do
// not).
#pragma once

#include <cstdint>

namespace tavoren::testing {

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1 (n >= 1); the tiny bias of the modulo does not matter here.
  std::int64_t Below(std::int64_t n) {
    return static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(n));
  }
  std::int64_t Between(std::int64_t lo, std::int64_t hi) { return lo + Below(hi - lo + 1); }
  bool Chance(int percent) { return Below(100) < percent; }
  // Uniform in [0, 1) with 53 bits.
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1p-53; }
  double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }

 private:
  std::uint64_t state_;
};

}  // namespace tavoren::testing
