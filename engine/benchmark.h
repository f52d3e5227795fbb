// The benchmark run and series: one pi computation timed and scored, and a
// series of runs folded into one result. Plain records, no global state.
#pragma once

#include <cstddef>
#include <cstdint>

struct HpNumber;

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

// Storage and observers of one run, for tools and tests; every null member
// takes the default of pi_benchmark_run.
struct PiRunHooks {
    void* (*allocate)(size_t bytes);  // default malloc
    void (*release)(void* block);     // default free
    // Decides whether the result is pi; default pi_verify.
    bool (*verify)(const HpNumber* pi, uint32_t R, void* context);
    // Receives the verified result before it is freed: pi in radix R, of
    // which the leading `words` words are proven.
    void (*digits_sink)(const HpNumber* pi, int32_t words, uint32_t R, void* context);
    void* context;  // handed to verify and digits_sink
};

// pi_benchmark_run with hooks (null hooks: the defaults).
void pi_benchmark_run_with(BenchmarkResult* result, const BenchmarkProgress* progress,
                           const PiRunHooks* hooks);

// One run of a series: fills *result, reporting through progress.
using PiRunFn = void (*)(BenchmarkResult* result, const BenchmarkProgress* progress, void* context);

struct PiSeriesOptions {
    int32_t runs;                // how many runs (the default series makes 5)
    PiRunFn run;                 // null: pi_benchmark_run
    void* run_context;           // handed to run
    BenchmarkResult* run_results;  // null, or room for `runs` records of each run
};

// pi_benchmark_series with a chosen run count and run function. The failure
// message counts the runs ("All 5 benchmark runs failed").
BenchmarkResult pi_benchmark_series_with(BenchmarkProgressFn callback, void* context,
                                         const PiSeriesOptions* options);

// Processor time of the calling thread in seconds.
double pi_benchmark_thread_seconds();
