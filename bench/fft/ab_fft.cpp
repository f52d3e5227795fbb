// Two builds of the transform in one process: fft_ab_before, compiled from
// another revision, and fft_ab_after, from this tree (bench/ab-fft builds
// both and runs this several times). Calls alternate between them in the
// order 0 1 1 0 0 1 1 ..., each on the same input, so that the machine's
// drift falls on both alike. Prints one line: the median milliseconds of
// before's forward and backward calls, then after's; exits with 2 when the
// two give different bits.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "fft/fft_dispatch.h"

extern const fft_isa_ops fft_ab_before;
extern const fft_isa_ops fft_ab_after;

namespace {

constexpr int32_t length = 1 << 21;  // doubles, the engine's longest transform

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const size_t bytes = length * sizeof(double);
    // On huge pages, as a run's work areas are.
    auto* data = static_cast<double*>(std::aligned_alloc(size_t{2} << 20, bytes));
    if (data == nullptr) return 1;
    madvise(data, bytes, MADV_HUGEPAGE);
    std::vector<double> input(length), out[2][2];
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (double& x : input) x = dist(gen);

    const fft_isa_ops* side[2] = {&fft_ab_before, &fft_ab_after};
    std::vector<double> forward[2], backward[2];
    for (int r = 0; r < 2 * reps; ++r) {
        const int s = (r ^ (r >> 1)) & 1;
        std::memcpy(data, input.data(), bytes);
        const double t0 = thread_seconds();
        side[s]->complex(length, 1, data);
        const double t1 = thread_seconds();
        if (out[s][0].empty()) out[s][0].assign(data, data + length);
        side[s]->complex(length, -1, data);
        const double t2 = thread_seconds();
        if (out[s][1].empty()) out[s][1].assign(data, data + length);
        forward[s].push_back(t1 - t0);
        backward[s].push_back(t2 - t1);
    }
    std::printf("%.4f %.4f %.4f %.4f\n", 1e3 * median(forward[0]), 1e3 * median(backward[0]),
                1e3 * median(forward[1]), 1e3 * median(backward[1]));
    const bool same = std::memcmp(out[0][0].data(), out[1][0].data(), bytes) == 0 &&
                      std::memcmp(out[0][1].data(), out[1][1].data(), bytes) == 0;
    std::free(data);
    return same ? 0 : 2;
}
