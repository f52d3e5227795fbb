// Reference checksums of pi's leading digits, computed with MPFR.
#pragma once

#include <cstdint>

// For each radix 10, 100, 1000, 10000 (in that order): the checksum of the
// first `words` words of pi in that radix (pi_checksum_words' definition),
// from MPFR's pi. Takes several seconds for the run's word count.
void mpfr_pi_checksums(int32_t words, uint64_t out[4]);
