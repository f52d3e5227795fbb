// Exact references for the engine's arithmetic tests: HpNumber values as GMP
// integers scaled by a power of R, MPFR values truncated to HpNumbers, word
// comparison with a readable message, and a seeded generator of numbers that
// favours the shapes where carries and cancellations go wrong.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "engine/hp_number.h"

struct HpDeleter {
    void operator()(HpNumber* x) const { hp_free(x); }
};
using HpPtr = std::unique_ptr<HpNumber, HpDeleter>;

// A zero number of exactly hp_bytes(n) bytes.
HpPtr hp_make(int32_t n);

// The value m * R^e, exactly.
struct Exact {
    mpz_class m;
    int64_t e = 0;
};

// Value of x over its n words: sign * int(words) * R^(exponent - n + 1).
Exact exact_of(int32_t n, uint32_t R, const HpNumber* x);

// x with only the first `words` words kept (the factor a product buffer takes).
Exact exact_leading(int32_t words, uint32_t R, const HpNumber* x);

Exact exact_add(uint32_t R, const Exact& a, const Exact& b);
Exact exact_mul(const Exact& a, const Exact& b);

// v truncated toward zero to a multiple of R^e (unchanged when already one).
Exact exact_to_grid(uint32_t R, const Exact& v, int64_t e);

// z = v truncated toward zero to n words, in normal form (zero: sign 0,
// exponent 0). Fails the test (without writing z) when the exponent leaves
// the int32 range.
void hp_set_truncated(int32_t n, uint32_t R, const Exact& v, HpNumber* z);

// v truncated toward zero to n words, written with exactly n words
// (m has n radix-R digits) so that it compares equal to exact_of(n, R, z)
// of the truncated number z; zero stays {0, 0}.
Exact exact_truncated(int32_t n, uint32_t R, const Exact& v);

// actual is in normal form and equals v truncated to n words. Cheaper than
// hp_set_truncated + same_number for long numbers; the message still names
// the first differing word.
::testing::AssertionResult same_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v);

// actual is in normal form and within (1/2 + 1/R) units of its last word of
// v: v rounded to nearest at n words, with ties (and values within 1/R of a
// unit of one) going either way. Products round the positions they drop.
::testing::AssertionResult rounded_value(int32_t n, uint32_t R, const HpNumber* actual, const Exact& v);

// (value of x - v) in units of x's last word, R^(exponent(x) - n + 1); for a
// zero x the unit is that of v's truncation to n words.
mpz_class ulps_from(int32_t n, uint32_t R, const HpNumber* x, const Exact& v);

// Number of trailing words a deviation of `ulps` last-word units can touch:
// 0 for 0, 1 below R, 2 below R^2, ...
int32_t words_touched(uint32_t R, const mpz_class& ulps);

// Sign, exponent and all n words equal; the message names the first
// differing word.
::testing::AssertionResult same_number(int32_t n, const HpNumber* actual, const HpNumber* expected);

// Decimal digits per word: 1 .. 4 for R = 10 .. 10000.
int32_t digits_per_word(uint32_t R);

// Enough MPFR precision for n words of radix R plus guard bits.
mpfr_prec_t mpfr_bits_for(int32_t n, uint32_t R);

// out = x (rounded to out's precision; exact when it is wide enough).
void mpfr_set_hp(int32_t n, uint32_t R, const HpNumber* x, mpfr_ptr out);

// v truncated toward zero to n + 1 or more words: the reference that Newton
// results are measured against with ulps_from.
Exact exact_of_mpfr(int32_t n, uint32_t R, mpfr_srcptr v);

// Seeded random numbers biased toward corner cases: all words R - 1, long
// runs of R - 1 or 0 (carry and borrow chains), a leading 1 or R - 1, exact
// powers of R, words next to R/2 (balanced-digit boundaries). The seed is
// fixed unless NUMERA_TEST_SEED is set, and is printed.
class HpRandom {
public:
    explicit HpRandom(const char* test_name);

    uint64_t seed() const { return seed_; }
    int64_t uniform(int64_t lo, int64_t hi);  // inclusive
    bool chance(int32_t percent) { return uniform(0, 99) < percent; }

    // Fills the first n words of z (normal, non-zero) with a random shape;
    // sign +1 or -1, exponent in [-max_exp, max_exp].
    void fill(int32_t n, uint32_t R, HpNumber* z, int32_t max_exp = 3);

    // A random word in [0, R), biased to 0, 1, R/2 - 1, R/2 and R - 1.
    int16_t word(uint32_t R);

private:
    uint64_t seed_;
    std::mt19937_64 rng_;
};

inline constexpr uint32_t kRadices[] = {10, 100, 1000, 10000};

// Word count of the run's numbers and its largest transform length.
inline constexpr int32_t kRunWords = 2097154;
inline constexpr int32_t kRunTransform = 2097152;
