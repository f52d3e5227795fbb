// The transform's passes over a whole block, timed per double at lengths
// that fit in L1, in L2, in L3, and at a run's full 2^21 doubles: the first radix-4
// stage of a plain block, of an odd block and of a backward transform, and
// the permutation to natural order in both forms. About the same time per
// double at every length means a pass is bound by its own work; more at
// 2^21 means it waits for memory, and only then could two stages in one
// sweep, or the permutation merged into its neighbour, pay. Compare the
// medians:
//   bench_transform_passes --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// NUMERA_FFT_ISA=x86-64-v3 or baseline times a narrower path; the rows are
// labelled with the path in use. bench_pointwise_kernels does the same for
// the products' passes outside the transform.
#include <cstdint>

#include "bench/pass_timing.h"
#include "fft/fft_dispatch.h"
#include "fft/fft_kernels.h"

namespace {

template <void (*Pass)(int32_t, double*)>
void BM_pass(benchmark::State& state) {
    time_pass(state, 1, 1.0, "per_double", static_cast<double>(state.range(0)), fft_active_isa_name(),
              [](int32_t n, double* data, double*, double*) { Pass(n, data); });
}

BENCHMARK(BM_pass<fft_stage_plain>)->Name("BM_stage_plain")->Apply(pass_lengths);
BENCHMARK(BM_pass<fft_stage_odd>)->Name("BM_stage_odd")->Apply(pass_lengths);
BENCHMARK(BM_pass<fft_stage_plain_conj>)->Name("BM_stage_plain_conj")->Apply(pass_lengths);
BENCHMARK(BM_pass<fft_bit_reverse>)->Name("BM_bit_reverse")->Apply(pass_lengths);
BENCHMARK(BM_pass<fft_bit_reverse_conj>)->Name("BM_bit_reverse_conj")->Apply(pass_lengths);

}  // namespace

BENCHMARK_MAIN();
