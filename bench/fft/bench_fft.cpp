// fft_complex at 2^21 doubles (2^20 complex points), forward and backward,
// beside FFTW's in-place 2^20-point complex transform planned with
// FFTW_MEASURE. Compare the medians:
//   bench_fft --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// On a shared machine add --benchmark_enable_random_interleaving=true, so that
// load from elsewhere falls on both sides alike. Our rows are labelled with the
// instruction set in use; NUMERA_FFT_ISA=baseline or x86-64-v3 runs a narrower
// one.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "fft/fft.h"
#include "fft/fft_dispatch.h"

namespace {

constexpr int32_t length = 1 << 21;  // doubles
constexpr int points = length / 2;

std::vector<double> random_input() {
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(length);
    for (double& x : v) x = dist(gen);
    return v;
}

// The transform is unnormalised; scaling after each call keeps the data from
// growing over many iterations at negligible cost compared with a transform.
void rescale(double* data, int count, double factor) {
    for (int j = 0; j < count; ++j) data[j] *= factor;
}

// Our array is aligned as fftw_malloc aligns FFTW's: a std::vector of this
// size starts 16 bytes into a page, and every wide access would then straddle
// two cache lines.
void run_numera(benchmark::State& state, int32_t direction) {
    const std::vector<double> input = random_input();
    auto* data = static_cast<double*>(std::aligned_alloc(64, sizeof(double) * length));
    std::copy(input.begin(), input.end(), data);
    for (auto _ : state) {
        fft_complex(length, direction, data);
        benchmark::DoNotOptimize(data);
        benchmark::ClobberMemory();
        state.PauseTiming();
        rescale(data, length, 1.0 / 1024.0);
        state.ResumeTiming();
    }
    std::free(data);
    state.SetItemsProcessed(state.iterations() * points);
    state.SetLabel(fft_active_isa_name());
}

void run_fftw(benchmark::State& state, int sign) {
    auto* data = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * points));
    fftw_plan plan = fftw_plan_dft_1d(points, data, data, sign, FFTW_MEASURE);
    const std::vector<double> input = random_input();
    double* flat = &data[0][0];
    for (int j = 0; j < length; ++j) flat[j] = input[static_cast<size_t>(j)];
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(flat);
        benchmark::ClobberMemory();
        state.PauseTiming();
        rescale(flat, length, 1.0 / 1024.0);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * points);
    fftw_destroy_plan(plan);
    fftw_free(data);
}

void BM_numera_forward(benchmark::State& state) { run_numera(state, 1); }
void BM_numera_backward(benchmark::State& state) { run_numera(state, -1); }
// FFTW's sign is that of the exponent: FFTW_BACKWARD (+1) is our forward.
void BM_fftw_forward(benchmark::State& state) { run_fftw(state, FFTW_BACKWARD); }
void BM_fftw_backward(benchmark::State& state) { run_fftw(state, FFTW_FORWARD); }

}  // namespace

BENCHMARK(BM_numera_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_numera_backward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fftw_forward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fftw_backward)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
