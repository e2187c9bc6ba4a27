// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>

// A small seeded generator (splitmix64) so that a fault run repeats exactly for the same seed
// and the same datagrams, whatever the standard library's distributions do.
class CFaultDice {
  public:
    explicit CFaultDice(uint32_t seed = 1) { Seed(seed); }
    void Seed(uint32_t seed) { m_state = 0x9E3779B97F4A7C15ull ^ seed; }

    // Always draws, also for 0 and 1, so that one fault's probability never shifts the others.
    bool Chance(double probability) { return Uniform() < probability; }
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }

  private:
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

    uint64_t m_state = 0;
};
