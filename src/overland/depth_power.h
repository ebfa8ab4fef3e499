// The depth power h^(5/3) of the Manning law (m^(5/3)) shared by the overland
// schemes: a fast form in plain arithmetic, so that loops of it become vector
// code, and the library cube root outside its range. Both give the same bits
// in plain and in vector code.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

namespace overland_power {

// Depths from kFastLow to kFastHigh (m) take the power below; tiny and huge
// ones the library cube root.
constexpr double kFastLow = 1e-90;
constexpr double kFastHigh = 1e90;

inline bool in_fast_range(double h) {
    return (h >= kFastLow) & (h <= kFastHigh);
}

// First guess of h^(-1/3) from the bits of h > 0: 0x553F000000000000 minus
// the bits divided by 3 (the exponent divided by -3, within 4 %), worked out
// on the two 32-bit halves (2^32 = 3 x 1431655765 + 1), which vector code
// can divide, with the same bits as the 64-bit division.
inline double inverse_cube_root_guess(double h) {
    std::uint64_t bits;
    std::memcpy(&bits, &h, sizeof bits);
    const std::uint32_t high = static_cast<std::uint32_t>(bits >> 32);
    const std::uint32_t low = static_cast<std::uint32_t>(bits);
    const std::uint32_t a = high / 3u, b = high - 3u * a;   // high = 3a + b
    const std::uint32_t c = low / 3u, d = low - 3u * c;     // low = 3c + d
    // bits / 3 = a 2^32 + (b 1431655765 + c + [b + d >= 3]), the second term
    // below 2^32.
    const std::uint32_t part = b * 1431655765u + c + static_cast<std::uint32_t>(b + d >= 3u);
    const std::uint32_t guess_high = 0x553F0000u - a - static_cast<std::uint32_t>(part != 0u);
    const std::uint32_t guess_low = 0u - part;
    const std::uint64_t guess = (static_cast<std::uint64_t>(guess_high) << 32) | guess_low;
    double r;
    std::memcpy(&r, &guess, sizeof r);
    return r;
}

// h^(5/3) for h in the fast range without pow (m^(5/3)), as h^2 x h^(-1/3):
// the guess above and four Newton steps r <- r (4 - h r^3) / 3, which need no
// division; the result is within 5 units in the last place. Plain
// arithmetic, so that a loop of it becomes vector code; it costs a fraction of
// the library cube root, which was most of the time of a sub-step.
inline double fast_depth_power(double h) {
    double r = inverse_cube_root_guess(h);
    const double h3 = h * (1.0 / 3.0);
    for (int i = 0; i < 4; ++i) r = r * (4.0 / 3.0 - (r * r) * (r * h3));
    return (h * h) * r;
}

// h^(5/3) for h > 0, m^(5/3).
inline double depth_power(double h) {
    return in_fast_range(h) ? fast_depth_power(h) : h * std::cbrt(h * h);
}

}  // namespace overland_power
