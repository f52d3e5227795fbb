// One Numera run beside Arb's and MPFR's pi at the same number of digits,
// measured in one process, alternating, as processor time of this thread.
// Also reports each side's time in the kernel and its page faults, which
// the processor time includes: on a virtual machine that hands freed memory
// back to its host, every side pays again for the pages it touches.
#include <arb.h>
#include <mpfr.h>
#include <sys/resource.h>

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

// Kernel time and page faults of this thread so far.
struct Usage {
    double kernel_seconds = 0.0;
    long faults = 0;
};

Usage thread_usage() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return {static_cast<double>(u.ru_stime.tv_sec) + 1e-6 * static_cast<double>(u.ru_stime.tv_usec),
            u.ru_minflt + u.ru_majflt};
}

// Runs f, adds what it spent in the kernel and its page faults to *sum.
template <class F>
double measured(F f, Usage* sum) {
    const Usage before = thread_usage();
    const double seconds = f();
    const Usage after = thread_usage();
    sum->kernel_seconds += after.kernel_seconds - before.kernel_seconds;
    sum->faults += after.faults - before.faults;
    return seconds;
}

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
    Usage numera_usage, arb_usage, mpfr_usage;
    for (int r = 0; r < repetitions; ++r) {
        numera.push_back(measured(numera_seconds, &numera_usage));
        arb.push_back(measured(arb_seconds, &arb_usage));
        mpfr.push_back(measured(mpfr_seconds, &mpfr_usage));
        std::printf("repetition %d: numera %.3f s, arb %.3f s, mpfr %.3f s\n", r + 1, numera.back(),
                    arb.back(), mpfr.back());
        std::fflush(stdout);
    }
    const double n = median(numera), a = median(arb), m = median(mpfr);
    std::printf("\npi to %ld digits, processor seconds, median of %d alternating repetitions\n", digits,
                repetitions);
    std::printf("  numera run         %8.3f\n  arb_const_pi       %8.3f\n  mpfr_const_pi      %8.3f\n", n, a, m);
    std::printf("  numera / arb       %8.2f\n  numera / mpfr      %8.2f\n", n / a, n / m);
    const double reps = repetitions;
    std::printf("  in the kernel, mean per repetition: numera %.3f s (%ld page faults), arb %.3f s (%ld),"
                " mpfr %.3f s (%ld)\n",
                numera_usage.kernel_seconds / reps, numera_usage.faults / repetitions,
                arb_usage.kernel_seconds / reps, arb_usage.faults / repetitions,
                mpfr_usage.kernel_seconds / reps, mpfr_usage.faults / repetitions);
    return 0;
}
