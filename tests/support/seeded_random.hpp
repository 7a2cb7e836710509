// The random source of the generated tests: a fixed seed, so every run checks
// the same cases, which TNX_TEST_SEED in the environment replaces to explore
// others. Tests put seed_trace() in their SCOPED_TRACE so a failure names the
// seed that reproduces it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace tnx::test {

inline std::uint64_t test_seed(std::uint64_t fallback) {
  const char* text = std::getenv("TNX_TEST_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : fallback;
}

class SeededRandom {
 public:
  explicit SeededRandom(std::uint64_t fallback_seed)
      : seed_(test_seed(fallback_seed)), engine_(seed_) {}

  [[nodiscard]] std::string seed_trace() const {
    return "seed " + std::to_string(seed_) +
           " (TNX_TEST_SEED=" + std::to_string(seed_) + " repeats it)";
  }

  // A number in [low, high].
  std::uint64_t between(std::uint64_t low, std::uint64_t high) {
    return std::uniform_int_distribution<std::uint64_t>(low, high)(engine_);
  }

  bool chance(unsigned percent) { return between(1, 100) <= percent; }

  char pick(const std::string& choices) {
    return choices[between(0, choices.size() - 1)];
  }

  std::string digits(std::size_t min_size, std::size_t max_size) {
    std::string out(between(min_size, max_size), '0');
    for (char& c : out) c = static_cast<char>('0' + between(0, 9));
    return out;
  }

 private:
  std::uint64_t seed_;
  std::mt19937_64 engine_;
};

}  // namespace tnx::test
