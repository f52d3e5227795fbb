// Multi-precision floating-point numbers in a decimal radix R (10, 100, 1000
// or 10000): a sign, an exponent counted in words, and n 16-bit words, most
// significant first. Value = sign * sum(words[i] * R^(exponent - i)).
//
// Conventions for every hp_ function:
// - counts and the radix come first, then inputs, then the output;
// - n (the word count) is never stored in the number, it is passed to every
//   call; results are truncated to n words;
// - the output may be the same record as any input;
// - a non-zero input must be normal (words[0] != 0); every zero produced has
//   sign 0, exponent 0 and all words 0;
// - nothing allocates except hp_alloc.
#pragma once

#include <cstddef>
#include <cstdint>

struct HpNumber {
    int32_t sign;      // -1, 0 or +1
    int32_t exponent;  // power of R of words[0]
    int16_t words[];   // n words, each in [0, R)
};

// Bytes one number of n words occupies: 8 + 2n.
inline constexpr size_t hp_bytes(int32_t n) { return 8 + 2 * static_cast<size_t>(n); }

// Allocates a zero number of n words (sign 0, exponent 0, words 0), or
// returns null when memory is short. Free it with hp_free.
HpNumber* hp_alloc(int32_t n);
void hp_free(HpNumber* x);

// Sets z to zero over n words.
void hp_set_zero(int32_t n, HpNumber* z);

// Copies n words, sign and exponent of x into z.
void hp_copy(int32_t n, const HpNumber* x, HpNumber* z);

// Index of the first non-zero word of x in [from, end), or -1.
int32_t hp_first_nonzero(const HpNumber* x, int32_t from, int32_t end);

// z = x + y, truncated to n words.
void hp_add(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, HpNumber* z);

// z = x - y, truncated to n words.
void hp_sub(int32_t n, uint32_t R, const HpNumber* x, const HpNumber* y, HpNumber* z);

// out = big + (small shifted right by shift words), word arrays only; returns
// the carry out of word 0 (0 or 1) and leaves the words unshifted.
int32_t hp_add_magnitudes(int32_t n, uint32_t R, int32_t shift, const int16_t* big,
                          const int16_t* small, int16_t* out);

// out = big - (small shifted right by shift words); requires big >= the
// shifted small. Word arrays only, no normalisation.
void hp_sub_magnitudes(int32_t n, uint32_t R, int32_t shift, const int16_t* big,
                       const int16_t* small, int16_t* out);

// z = x * m for a small positive m (an integer value held in a double, with
// m * R well inside 2^52).
void hp_mul_small(int32_t n, uint32_t R, const HpNumber* x, double m, HpNumber* z);

// z = x / m, truncated, for a small positive integer m (m * R well inside 2^52).
void hp_div_small(int32_t n, uint32_t R, const HpNumber* x, int64_t m, HpNumber* z);

// z = x / 2 exactly within n words (the remainder of the last word is dropped).
void hp_half(int32_t n, uint32_t R, const HpNumber* x, HpNumber* z);

// z = 1 over its first m words; words beyond m are not touched.
void hp_set_one(int32_t m, HpNumber* z);

// Sets sign +1, the exponent and the first m words of z from a positive
// double v: v is first scaled by R (lowering the exponent) while below 1. A
// value that rounds up to R is written as, ...
void hp_from_double(int32_t m, uint32_t R, double v, int32_t exponent, HpNumber* z);

// Rounds z, whose significant words are the first len, to m < len words
// (half up); words m .. len-1 become 0. Does nothing when m >= len or m < 1.
void hp_round(int32_t m, int32_t len, uint32_t R, HpNumber* z);

// z = the decimal number written in the NUL-terminated text, with L decimal
// digits per word (R = 10^L). Never reads past the NUL nor writes past word
// n-1; digits beyond n words are dropped. An exponent after 'e', 'E', 'd' or
// 'D' beyond +-1,000,000,000 is clamped to that bound.
void hp_parse(int32_t n, int32_t L, const char* text, HpNumber* z);
