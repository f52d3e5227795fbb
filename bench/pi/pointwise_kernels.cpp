// The products' passes outside the transform, timed per value at 2^12
// doubles (one array in L1; the kernels over two or three arrays reach into
// L2), at lengths in L2 and in L3, and at a run's full 2^21 doubles: the spectrum
// kernels (per pair), the balanced load (per word) and the carry pass (per
// value). About the same time per value at every length means a pass is
// bound by its own work; more at 2^21 means it waits for memory, and only
// then could merging it into a neighbouring pass over the arrays pay. At
// 2^12 doubles the spectrum kernels with eight lanes (AVX-512) have fewer
// than eight blocks of pairs and walk them one pair at a time, so that row
// times the scalar walk (about three times as long per pair). Compare the
// medians:
//   bench_pointwise_kernels --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// NUMERA_ENGINE_ISA=v3 or base times a narrower path; the rows are labelled
// with the path in use. bench_transform_passes does the same for the
// transform's own passes.
#include <cstdint>
#include <random>

#include "bench/pass_timing.h"
#include "engine/engine_isa.h"
#include "engine/fft_pointwise.h"
#include "engine/hp_number.h"
#include "engine/hp_product.h"

namespace {

constexpr uint32_t R = 10000;

// Spectra in (-1, 1), `used` of them read, timed per pair of values.
template <class Kernel>
void time_kernel(benchmark::State& state, int used, Kernel kernel) {
    const double pairs = static_cast<double>(state.range(0) / 4);
    time_pass(state, used, 1.0, "per_pair", pairs, engine_isa_name(engine_isa()), kernel);
}

void BM_spectrum_mul(benchmark::State& state) {
    time_kernel(state, 2, [](int32_t nfft, double* a, double* b, double*) { fft_spectrum_mul(nfft, a, b); });
}

void BM_spectrum_mul_split(benchmark::State& state) {
    time_kernel(state, 2,
                [](int32_t nfft, double* a, double* b, double*) { fft_spectrum_mul_split(nfft, a, b); });
}

void BM_spectrum_square_split(benchmark::State& state) {
    time_kernel(state, 1,
                [](int32_t nfft, double* a, double*, double*) { fft_spectrum_square_split(nfft, a); });
}

// The long product's last pass over the pairs: it splits a newly transformed
// factor, multiplies it by a held factor, adds the held cross product and
// merges the sum.
void BM_spectrum_mul_add_merge(benchmark::State& state) {
    time_kernel(state, 3, [](int32_t nfft, double* a, double* b, double* c) {
        spectrum_pairs_mul_add_merge(nfft, a, b, c);
    });
}

// Words of a number as wide as the array takes, loaded as balanced digits
// into a buffer around the array, as the carry's below; the upper half of
// the array is zeroed by the same call.
void BM_balanced_load(benchmark::State& state) {
    const auto nfft = static_cast<int32_t>(state.range(0));
    const int32_t m = nfft / 2 + 1;
    HpNumber* x = hp_alloc(m);
    std::mt19937_64 gen(7);
    for (int32_t i = 0; i < m; ++i) x->words[i] = static_cast<int16_t>(gen() % R);
    x->words[0] = 3;
    x->sign = 1;
    x->exponent = 0;
    time_pass(state, 0, 1.0, "per_word", m, engine_isa_name(engine_isa()),
              [x, m](int32_t n, double* a, double*, double*) { hp_load_transform(m, R, x, 0, n, a - 1); });
    hp_free(x);
}

// A backward transform's values as a run's long products leave them (up to
// 2^40 times nfft/2), rounded and carried into words; timed per value. The
// buffer's transform is the array, on a cache line as in a run; its ends
// are an exponent of 0 and a leading product of 3.
void BM_carry(benchmark::State& state) {
    const auto nfft = static_cast<int32_t>(state.range(0));
    HpNumber* out = hp_alloc(nfft + 2);
    time_pass(state, 1, 0x1p40 * (nfft / 2), "per_value", nfft, engine_isa_name(engine_isa()),
              [out](int32_t n, double* a, double*, double*) {
                  double* buf = a - 1;
                  buf[0] = 0.0;
                  buf[n + 1] = 3.0;
                  hp_from_convolution(n + 2, R, n, buf, out);
              });
    hp_free(out);
}

BENCHMARK(BM_spectrum_mul)->Apply(pass_lengths);
BENCHMARK(BM_spectrum_mul_split)->Apply(pass_lengths);
BENCHMARK(BM_spectrum_square_split)->Apply(pass_lengths);
BENCHMARK(BM_spectrum_mul_add_merge)->Apply(pass_lengths);
BENCHMARK(BM_balanced_load)->Apply(pass_lengths);
BENCHMARK(BM_carry)->Apply(pass_lengths);

}  // namespace

BENCHMARK_MAIN();
