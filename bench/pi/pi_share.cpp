// The share of a run's processor time spent outside the transform. Every
// call of a transform entry made by the engine (fft_complex and the fused
// entries of fft/fft_fused.h, whose work next to the transform then counts
// as inside) is routed through a timing wrapper by the linker (--wrap), so
// the engine itself carries no instrumentation.
// --paths prints the instruction sets in use and exits.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/benchmark.h"
#include "engine/engine_isa.h"
#include "fft/fft_dispatch.h"

extern "C" {
// The entries under their C++ symbol names: fft_complex(int32_t, int32_t,
// double*), fft_forward_zero_tail(int32_t, int32_t, double*).
void __real__Z11fft_complexiiPd(int32_t n, int32_t direction, double* data);
void __wrap__Z11fft_complexiiPd(int32_t n, int32_t direction, double* data);
void __real__Z21fft_forward_zero_tailiiPd(int32_t n, int32_t used, double* data);
void __wrap__Z21fft_forward_zero_tailiiPd(int32_t n, int32_t used, double* data);
}

namespace {

double transform_seconds = 0.0;
int64_t transform_calls = 0;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

namespace {

template <class F>
void timed(F&& call) {
    const double start = pi_benchmark_thread_seconds();
    call();
    transform_seconds += pi_benchmark_thread_seconds() - start;
    ++transform_calls;
}

}  // namespace

void __wrap__Z11fft_complexiiPd(int32_t n, int32_t direction, double* data) {
    timed([&] { __real__Z11fft_complexiiPd(n, direction, data); });
}

void __wrap__Z21fft_forward_zero_tailiiPd(int32_t n, int32_t used, double* data) {
    timed([&] { __real__Z21fft_forward_zero_tailiiPd(n, used, data); });
}

int main(int argc, char** argv) {
    int repetitions = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repetitions") == 0 && i + 1 < argc) repetitions = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--paths") == 0) {
            std::printf("transform %s, word and spectrum loops %s\n", fft_active_isa_name(),
                        engine_isa_name(engine_isa()));
            return 0;
        }
    }
    if (repetitions < 1) repetitions = 1;

    std::vector<double> runs, transforms, shares;
    for (int r = 0; r < repetitions; ++r) {
        transform_seconds = 0.0;
        transform_calls = 0;
        BenchmarkResult result;
        pi_benchmark_run(&result, nullptr);
        if (result.success != 1) {
            std::fprintf(stderr, "numera run failed: %s\n", result.error_message);
            return 1;
        }
        const double outside = result.elapsed_time - transform_seconds;
        runs.push_back(result.elapsed_time);
        transforms.push_back(transform_seconds);
        shares.push_back(outside / result.elapsed_time);
        std::printf("repetition %d: run %.3f s, in the transform %.3f s (%lld calls), outside %.3f s = %.1f%%\n",
                    r + 1, result.elapsed_time, transform_seconds, static_cast<long long>(transform_calls),
                    outside, 100.0 * shares.back());
        std::fflush(stdout);
    }
    std::printf("\nrun time outside the transform, median of %d runs\n", repetitions);
    std::printf("  run                %8.3f s\n  in the transform   %8.3f s\n  outside share      %8.1f %%\n",
                median(runs), median(transforms), 100.0 * median(shares));
    return 0;
}
