// One Numera run beside Arb's and MPFR's pi at the same number of digits,
// measured in one process, alternating, as processor time of this thread.
#include <arb.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/benchmark.h"

namespace {

constexpr long digits = 8388608;

double numera_seconds() {
    BenchmarkResult r;
    pi_benchmark_run(&r, nullptr);
    if (r.success != 1) {
        std::fprintf(stderr, "numera run failed: %s\n", r.error_message);
        std::exit(1);
    }
    return r.elapsed_time;
}

// Bits for `digits` decimal digits plus a few guard bits.
long bits_for_digits() { return static_cast<long>(std::ceil(digits * 3.321928094887362)) + 16; }

double arb_seconds() {
    arb_t pi;
    arb_init(pi);
    const double start = pi_benchmark_thread_seconds();
    arb_const_pi(pi, bits_for_digits());
    const double seconds = pi_benchmark_thread_seconds() - start;
    arb_clear(pi);
    // Arb caches constants per thread; free them so every repetition computes.
    flint_cleanup();
    return seconds;
}

double mpfr_seconds() {
    mpfr_t pi;
    mpfr_init2(pi, bits_for_digits());
    const double start = pi_benchmark_thread_seconds();
    mpfr_const_pi(pi, MPFR_RNDN);
    const double seconds = pi_benchmark_thread_seconds() - start;
    mpfr_clear(pi);
    mpfr_free_cache();
    return seconds;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repetitions") == 0 && i + 1 < argc) repetitions = std::atoi(argv[++i]);
    }
    if (repetitions < 1) repetitions = 1;

    std::vector<double> numera, arb, mpfr;
    for (int r = 0; r < repetitions; ++r) {
        numera.push_back(numera_seconds());
        arb.push_back(arb_seconds());
        mpfr.push_back(mpfr_seconds());
        std::printf("repetition %d: numera %.3f s, arb %.3f s, mpfr %.3f s\n", r + 1, numera.back(),
                    arb.back(), mpfr.back());
        std::fflush(stdout);
    }
    const double n = median(numera), a = median(arb), m = median(mpfr);
    std::printf("\npi to %ld digits, processor seconds, median of %d alternating repetitions\n", digits,
                repetitions);
    std::printf("  numera run         %8.3f\n  arb_const_pi       %8.3f\n  mpfr_const_pi      %8.3f\n", n, a, m);
    std::printf("  numera / arb       %8.2f\n  numera / mpfr      %8.2f\n", n / a, n / m);
    return 0;
}
