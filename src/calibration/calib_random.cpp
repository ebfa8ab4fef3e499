#include "calibration/calib_random.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kMultiplier = 16807;           // a of the recurrence
constexpr int kModulus = 2147483647;         // m = 2^31 - 1
constexpr int kSchrageQ = 127773;            // m / a
constexpr int kSchrageR = 2836;              // m mod a
constexpr int kTableSize = 32;
constexpr int kTableDivisor = 67108864;      // 1 + (m - 1) / table size
constexpr double kScale = 4.656612875245797e-10;   // 1 / m
constexpr double kLargest = 0.99999988;      // largest value returned
constexpr int kSeedForZero = 3737;

// One step of idum = a * idum mod m without overflow (Schrage).
int step(int idum) {
    const int k = idum / kSchrageQ;
    int next = kMultiplier * (idum - k * kSchrageQ) - kSchrageR * k;
    if (next < 0) next += kModulus;
    return next;
}

}  // namespace

void seed_sce_random(sce_random& r, int seed) {
    if (seed == 0) seed = kSeedForZero;
    r.idum = -std::abs(seed);
    r.gauss_pending = false;
    r.gauss_value = 0.0;
}

double uniform_random(sce_random& r) {
    if (r.idum <= 0 || r.iy == 0) {
        r.idum = -r.idum < 1 ? 1 : -r.idum;
        for (int j = kTableSize + 7; j >= 0; --j) {
            r.idum = step(r.idum);
            if (j < kTableSize) r.table[j] = r.idum;
        }
        r.iy = r.table[0];
    }
    r.idum = step(r.idum);
    const int j = r.iy / kTableDivisor;
    r.iy = r.table[j];
    r.table[j] = r.idum;
    const double value = kScale * r.iy;
    return value > kLargest ? kLargest : value;
}

double gaussian_random(sce_random& r) {
    if (r.gauss_pending) {
        r.gauss_pending = false;
        return r.gauss_value;
    }
    double a = 0.0, b = 0.0, radius = 0.0;
    // A pair inside the unit circle comes within a few draws (3 in 4 are);
    // the bound only keeps a broken generator from holding the search.
    constexpr int kPairTries = 10000;
    int tries = 0;
    do {
        a = 2.0 * uniform_random(r) - 1.0;
        b = 2.0 * uniform_random(r) - 1.0;
        radius = a * a + b * b;
    } while ((radius >= 1.0 || radius == 0.0) && ++tries < kPairTries);
    if (radius >= 1.0 || radius == 0.0) return 0.0;
    const double f = std::sqrt(-2.0 * std::log(radius) / radius);
    r.gauss_value = f * a;
    r.gauss_pending = true;
    return f * b;
}

int draw15::next() {
    // The classic portable rule: state * 1103515245 + 12345, bits 16..30 out.
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<int>((state_ / 65536u) % 32768u);
}
