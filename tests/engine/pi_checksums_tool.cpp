// Prints the reference table of engine/pi_checksum.cpp, computed with MPFR.
#include <cinttypes>
#include <cstdio>

#include "engine/pi_checksum.h"
#include "mpfr_pi_reference.h"

int main() {
    uint64_t sums[4];
    mpfr_pi_checksums(pi_run_words - pi_unverified_words, sums);
    const unsigned radix[4] = {10, 100, 1000, 10000};
    for (int i = 0; i < 4; ++i) {
        std::printf("    {%u, pi_run_words - pi_unverified_words, UINT64_C(%" PRIu64 ")},\n", radix[i], sums[i]);
    }
    return 0;
}
