// Random numbers of the calibration studies: the uniform and Gaussian
// generators of the shuffled complex evolution search, and the 15-bit
// generator that draws the Monte Carlo trials.
#pragma once
#include <cstdint>

// Minimal standard multiplicative generator (16807 mod 2^31 - 1) behind a
// 32-entry shuffle table, with the pending second value of the polar method.
// One search owns one, so nothing of one search reaches the next.
struct sce_random {
    int idum = 0;                 // generator state; a value <= 0 restarts the table
    int table[32] = {};           // shuffle table
    int iy = 0;                   // last table output; 0 before the first draw
    bool gauss_pending = false;   // true when gauss_value is the next Gaussian result
    double gauss_value = 0.0;     // second value of the last polar pair
};

// Restarts the generator from a seed: the state becomes -|seed| (a seed of 0
// stands for 3737) and the pending Gaussian value is dropped.
void seed_sce_random(sce_random& r, int seed);
// Uniform value in (0, 1), at most 0.99999988.
double uniform_random(sce_random& r);
// Standard normal value (polar method, two values per accepted pair).
double gaussian_random(sce_random& r);

// The 15-bit generator of the Monte Carlo draws: values 0..32767, the range
// the drawing rule lower + r / 32768 x (upper - lower) is built for.
class draw15 {
public:
    explicit draw15(std::uint32_t seed = 1) : state_(seed) {}
    void seed(std::uint32_t seed) { state_ = seed; }
    int next();

private:
    std::uint32_t state_;   // linear congruential state, mod 2^32
};
