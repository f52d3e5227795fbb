// The embedded checksums of pi's digits against pi recomputed with MPFR.
#include <gtest/gtest.h>

#include "engine/pi_checksum.h"
#include "mpfr_pi_reference.h"

TEST(PiReference, EmbeddedChecksumsMatchMpfr) {
    uint64_t expected[4];
    mpfr_pi_checksums(pi_run_words - pi_unverified_words, expected);
    const uint32_t radix[4] = {10, 100, 1000, 10000};
    for (int i = 0; i < 4; ++i) {
        const PiReference* ref = pi_reference_for(radix[i]);
        ASSERT_NE(ref, nullptr);
        EXPECT_EQ(ref->words, pi_run_words - pi_unverified_words);
        EXPECT_EQ(ref->checksum, expected[i]) << "radix " << radix[i];
    }
}

// The checksum is the digit string read as one integer: the words of 3.1415
// in radix 10 and in radix 10000 spell 31415 alike.
TEST(PiReference, ChecksumReadsTheDigitString) {
    const int16_t by_digit[] = {3, 1, 4, 1, 5};
    const int16_t by_word[] = {3, 1415};
    EXPECT_EQ(pi_checksum_words(by_digit, 5, 10), 31415u);
    EXPECT_EQ(pi_checksum_words(by_word, 2, 10000), 31415u);
    // Past the modulus 2^61 - 1: 10^19 = 2^61 - 1 ... folded.
    const int16_t ones[] = {1, 0, 0, 0, 0, 0};  // 10^20 in radix 10000
    const unsigned __int128 big = static_cast<unsigned __int128>(10000000000ull) * 10000000000ull;
    EXPECT_EQ(pi_checksum_words(ones, 6, 10000), static_cast<uint64_t>(big % pi_checksum_modulus));
}
