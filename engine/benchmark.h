// The benchmark run and series: one pi computation timed and scored, and a
// series of runs folded into one result. Plain records, no global state.
#pragma once

#include <cstdint>

// Outcome of one run or of a series. Copied by value everywhere.
struct BenchmarkResult {
    int32_t success;            // 1 when the computation completed and verified
    int32_t digits_calculated;  // decimal digits computed
    double elapsed_time;        // processor seconds of the calling thread
    double score;               // whole-number score
    char error_message[256];    // empty on success
};

// Called after every iteration of the AGM loop, on the computing thread.
using BenchmarkProgressFn = void (*)(int32_t iteration, int32_t precision_digits,
                                     void* context, double iteration_seconds);

struct BenchmarkProgress {
    BenchmarkProgressFn callback;  // may be null: no reports
    void* context;
    int32_t iteration_offset;  // added to the run's own iteration number
};

// Iterations of a run with radix 10000 (or 1000), and runs in a series.
inline constexpr int32_t pi_benchmark_iterations_per_run = 19;
inline constexpr int32_t pi_benchmark_series_runs = 5;

// Computes pi once, measures it and fills *result. A null result does
// nothing; a null progress (or callback) means no reports.
void pi_benchmark_run(BenchmarkResult* result, const BenchmarkProgress* progress);

// Runs pi_benchmark_run five times on the calling thread, numbering the
// progress reports across runs, and folds the outcomes into one result.
BenchmarkResult pi_benchmark_series(BenchmarkProgressFn callback, void* context);
