// Exact references for the engine's tests: HpNumber values as GMP integers
// scaled by a power of R, comparisons that name the first differing word,
// MPFR conversions, and a seeded generator of numbers that favours the
// shapes where carries and cancellations go wrong.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstdint>
#include <memory>
#include <random>

#include "engine/hp_number.h"

struct HpDeleter {
    void operator()(HpNumber* x) const { hp_free(x); }
};
using HpPtr = std::unique_ptr<HpNumber, HpDeleter>;
inline HpPtr hp_make(int32_t n) { return HpPtr(hp_alloc(n)); }

// The value m * R^e, exactly.
struct Exact {
    mpz_class m;
    int64_t e = 0;
};

// The first `words` words of x: sign * int(words) * R^(exponent - words + 1).
Exact exact_of(int32_t words, uint32_t R, const HpNumber* x);
Exact exact_add(uint32_t R, const Exact& a, const Exact& b);
inline Exact exact_mul(const Exact& a, const Exact& b) { return {a.m * b.m, a.e + b.e}; }
// v truncated toward zero to a multiple of R^e.
Exact exact_to_grid(uint32_t R, const Exact& v, int64_t e);

// actual is v truncated toward zero to n words, in normal form (a zero has
// sign 0, exponent 0 and all words 0).
::testing::AssertionResult same_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v);
// actual is normal and within (1/2 + 1/R) units of its last word of v: v
// rounded to nearest, ties (and near-ties) either way.
::testing::AssertionResult rounded_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v);
// Sign, exponent and all n words equal.
::testing::AssertionResult same_number(int32_t n, const HpNumber* actual, const HpNumber* expected);

// Enough MPFR precision for n words of radix R plus guard bits.
mpfr_prec_t mpfr_bits_for(int32_t n, uint32_t R);
// out = v (exact when out is wide enough for v.m).
void mpfr_set_exact(uint32_t R, const Exact& v, mpfr_ptr out);
// log_R of |x - v| in units of x's last word: -inf when equal, below k when
// only the last k words can differ.
double log_units_off(int32_t n, uint32_t R, const HpNumber* x, mpfr_srcptr v);
double log_units_off(int32_t n, uint32_t R, const HpNumber* x, const Exact& v);

// Seeded random numbers biased toward corner cases: all words R - 1, long
// runs of R - 1 or 0 (carry and borrow chains), a leading 1 or R - 1, words
// next to R/2 (balanced-digit boundaries). The seed is fixed unless
// NUMERA_TEST_SEED is set, and is printed.
class HpRandom {
public:
    explicit HpRandom(const char* test_name);
    int64_t uniform(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng_); }
    bool chance(int32_t percent) { return uniform(0, 99) < percent; }
    // A word in [0, R), biased to 0, 1, R/2 - 1, R/2 and R - 1.
    int16_t word(uint32_t R);
    // n words of a random shape (normal, non-zero), sign +-1, exponent in
    // [-max_exp, max_exp].
    void fill(int32_t n, uint32_t R, HpNumber* z, int32_t max_exp = 3);

private:
    std::mt19937_64 rng_;
};

inline constexpr uint32_t kRadices[] = {10, 100, 1000, 10000};
// Word count of the run's numbers and its largest transform length.
inline constexpr int32_t kRunWords = 2097154;
inline constexpr int32_t kRunTransform = 2097152;
