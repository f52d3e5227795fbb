// The kernels of the products' pointwise passes, timed per pair of values at
// lengths that fit in L2, in L3, and at a run's full 2^21 doubles. About the
// same time per pair at every length means a kernel is bound by its own
// work; more at 2^21 means it waits for memory, and only then could merging
// it into a neighbouring pass over the arrays pay. Compare the medians:
//   bench_pointwise_kernels --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// NUMERA_ENGINE_ISA=v3 or base times a narrower path; the rows are labelled
// with the path in use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/engine_isa.h"
#include "engine/fft_pointwise.h"
#include "engine/run_pages.h"

namespace {

// The transform arrays a kernel works on, each on pages of its own as in a
// run, and the values every call starts from: the kernels change their
// arrays, and values grown over many calls would end in infinities.
class KernelArrays {
public:
    static constexpr int count = 3;

    explicit KernelArrays(int32_t nfft) : nfft_(nfft), fresh_(count * static_cast<size_t>(nfft)) {
        std::mt19937_64 gen(42);
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        for (double& v : fresh_) v = dist(gen);
        for (double*& a : arrays_) a = static_cast<double*>(pi_pages_allocate(bytes()));
    }
    ~KernelArrays() {
        for (double* a : arrays_) pi_pages_release(a);
    }
    KernelArrays(const KernelArrays&) = delete;
    KernelArrays& operator=(const KernelArrays&) = delete;

    bool ready() const {
        return std::all_of(arrays_.begin(), arrays_.end(), [](const double* a) { return a != nullptr; });
    }
    void refresh() {
        for (int i = 0; i < count; ++i) {
            std::memcpy(arrays_[i], fresh_.data() + i * static_cast<size_t>(nfft_), bytes());
        }
    }
    double* operator[](int i) { return arrays_[i]; }

private:
    size_t bytes() const { return static_cast<size_t>(nfft_) * sizeof(double); }

    int32_t nfft_;
    std::vector<double> fresh_;
    std::array<double*, count> arrays_{};
};

// Only the kernel's call is timed; the refresh before it is not.
template <class Kernel>
void time_kernel(benchmark::State& state, Kernel kernel) {
    const auto nfft = static_cast<int32_t>(state.range(0));
    KernelArrays arrays(nfft);
    if (!arrays.ready()) {
        state.SkipWithError("no memory for the arrays");
        return;
    }
    for (auto _ : state) {
        arrays.refresh();
        const auto start = std::chrono::steady_clock::now();
        kernel(nfft, arrays[0], arrays[1], arrays[2]);
        const auto stop = std::chrono::steady_clock::now();
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    const double pairs = static_cast<double>(nfft / 4);
    state.counters["per_pair"] = benchmark::Counter(pairs * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(engine_isa_name(engine_isa()));
}

void BM_spectrum_mul(benchmark::State& state) {
    time_kernel(state, [](int32_t nfft, double* a, double* b, double*) { fft_spectrum_mul(nfft, a, b); });
}

void BM_spectrum_mul_split(benchmark::State& state) {
    time_kernel(state,
                [](int32_t nfft, double* a, double* b, double*) { fft_spectrum_mul_split(nfft, a, b); });
}

void BM_spectrum_square_split(benchmark::State& state) {
    time_kernel(state, [](int32_t nfft, double* a, double*, double*) { fft_spectrum_square_split(nfft, a); });
}

// The long product's last pass over the pairs: it splits a newly transformed
// factor, multiplies it by a held factor, adds the held cross product and
// merges the sum.
void BM_spectrum_mul_add_merge(benchmark::State& state) {
    time_kernel(state, [](int32_t nfft, double* a, double* b, double* c) {
        spectrum_pairs_mul_add_merge(nfft, a, b, c);
    });
}

void lengths(benchmark::internal::Benchmark* b) {
    for (int64_t nfft : {int64_t{1} << 14, int64_t{1} << 17, int64_t{1} << 21}) b->Arg(nfft);
    b->UseManualTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_spectrum_mul)->Apply(lengths);
BENCHMARK(BM_spectrum_mul_split)->Apply(lengths);
BENCHMARK(BM_spectrum_square_split)->Apply(lengths);
BENCHMARK(BM_spectrum_mul_add_merge)->Apply(lengths);

}  // namespace

BENCHMARK_MAIN();
