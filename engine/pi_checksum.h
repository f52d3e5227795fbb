// Proof that a run computed pi: the leading digits of pi (the 3 and the
// fraction digits after it), read as one integer, taken modulo the Mersenne
// prime 2^61 - 1. A single wrong digit always changes the checksum, and any
// other damage does so with overwhelming probability.
#pragma once

#include <cstdint>

#include "engine/hp_number.h"

inline constexpr uint64_t pi_checksum_modulus = (uint64_t{1} << 61) - 1;

// Words at the end of a run's result that truncated arithmetic cannot
// guarantee; they are left out of the comparison.
inline constexpr int32_t pi_unverified_words = 8;

// Word count of every number in a run.
inline constexpr int32_t pi_run_words = 2097154;

struct PiReference {
    uint32_t radix;     // 10, 100, 1000 or 10000
    int32_t words;      // leading words compared: pi_run_words - pi_unverified_words
    uint64_t checksum;  // of those words, as pi_checksum_words computes it
};

// The true checksums for the four radices a run may choose.
extern const PiReference pi_references[4];

// (sum of words[i] * R^(count-1-i)) mod 2^61 - 1: the checksum of the digit
// string the words spell.
uint64_t pi_checksum_words(const int16_t* words, int32_t count, uint32_t R);

// The reference for radix R, or null when R is not one of the four.
const PiReference* pi_reference_for(uint32_t R);

// True when x, a run's result in radix R, is +pi with exponent 0 in all of
// its verifiable words.
bool pi_verify(const HpNumber* x, uint32_t R);
