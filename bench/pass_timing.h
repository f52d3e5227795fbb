// Timing one pass over whole arrays at a given length, for the programs that
// tell passes bound by their own work from passes that wait for memory: the
// same pass timed at lengths in L2, in L3 and at a run's 2^21 doubles takes
// about the same time per value in the first case and more at 2^21 in the
// second. Only the second kind gains from being merged into a neighbouring
// pass.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/run_pages.h"

// The arrays a pass works on, each on pages of its own as in a run, and the
// values every call starts from: passes change their arrays, and values
// grown over many calls would end in infinities. Each array starts on a
// cache line with `spare` doubles of room before and after it, where a
// product buffer around it keeps its two ends.
class PassArrays {
public:
    static constexpr int count = 3;
    static constexpr int32_t spare = 8;

    // Values uniform in (-magnitude, magnitude).
    PassArrays(int32_t length, double magnitude)
        : length_(length), fresh_(count * static_cast<size_t>(length)) {
        std::mt19937_64 gen(42);
        std::uniform_real_distribution<double> dist(-magnitude, magnitude);
        for (double& v : fresh_) v = dist(gen);
        const size_t allocated = bytes() + 2 * spare * sizeof(double);
        for (double*& a : blocks_) a = static_cast<double*>(pi_pages_allocate(allocated));
    }
    ~PassArrays() {
        for (double* a : blocks_) pi_pages_release(a);
    }
    PassArrays(const PassArrays&) = delete;
    PassArrays& operator=(const PassArrays&) = delete;

    bool ready() const {
        return std::all_of(blocks_.begin(), blocks_.end(), [](const double* a) { return a != nullptr; });
    }
    // The first `used` arrays get their starting values back; the last of
    // them is then in the caches as far as they hold it, as a run's pass
    // finds the array that the pass before it wrote.
    void refresh(int used) {
        for (int i = 0; i < used; ++i) {
            std::memcpy((*this)[i], fresh_.data() + i * static_cast<size_t>(length_), bytes());
        }
    }
    double* operator[](int i) { return blocks_[i] + spare; }

private:
    size_t bytes() const { return static_cast<size_t>(length_) * sizeof(double); }

    int32_t length_;
    std::vector<double> fresh_;
    std::array<double*, count> blocks_{};
};

// Times pass(length, a, b, c) on arrays of state.range(0) doubles, of which
// it reads the first `used` (only the call; the refresh before it is not
// timed), and reports the time per unit in the counter `per`, `units` of
// them in one call, with `label` on the row.
template <class Pass>
void time_pass(benchmark::State& state, int used, double magnitude, const char* per, double units,
               const char* label, Pass pass) {
    const auto length = static_cast<int32_t>(state.range(0));
    PassArrays arrays(length, magnitude);
    if (!arrays.ready()) {
        state.SkipWithError("no memory for the arrays");
        return;
    }
    for (auto _ : state) {
        arrays.refresh(used);
        const auto start = std::chrono::steady_clock::now();
        pass(length, arrays[0], arrays[1], arrays[2]);
        const auto stop = std::chrono::steady_clock::now();
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    state.counters[per] = benchmark::Counter(units * static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(label);
}

// The lengths every pass is timed at: one array in L1 (32 KiB), in L2, in
// L3, and a run's longest. The L1 length tells a pass that is slow in its
// own work from one that waits for L2.
inline void pass_lengths(benchmark::internal::Benchmark* b) {
    for (int64_t n : {int64_t{1} << 12, int64_t{1} << 14, int64_t{1} << 17, int64_t{1} << 21}) b->Arg(n);
    b->UseManualTime()->Unit(benchmark::kMicrosecond);
}
