// The benchmark run and series: one pi computation timed and scored, and a
// series of runs folded into one result. Plain records, no global state.
#pragma once

#include <atomic>
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

// The AGM loop gives up after this many iterations. Precision about doubles
// per iteration, so a correct run needs 17 (radix 10) to 19 (radix 10000);
// only broken arithmetic gets near the cap, and it costs a faulty run at
// most 13 extra iterations (a couple of seconds) before it fails.
inline constexpr int32_t pi_benchmark_max_iterations = 32;

// The messages of a failed run. Only an allocation failure leaves a series
// going; any other failure fails it.
inline constexpr const char* pi_message_allocation_failed = "Memory allocation failed";
inline constexpr const char* pi_message_digits_wrong = "Computed digits do not match pi";
inline constexpr const char* pi_message_not_converged = "The computation did not converge";
inline constexpr const char* pi_message_cancelled = "Cancelled";

// Computes pi once, measures it and fills *result. A null result does
// nothing; a null progress (or callback) means no reports.
void pi_benchmark_run(BenchmarkResult* result, const BenchmarkProgress* progress);

// Runs pi_benchmark_run five times on the calling thread, numbering the
// progress reports across runs, and folds the outcomes into one result.
BenchmarkResult pi_benchmark_series(BenchmarkProgressFn callback, void* context);

// How a run ended, in more detail than its record's message.
enum class PiRunOutcome : int32_t {
    verified = 0,       // success: the digits are pi
    allocation_failed,  // the nine work areas could not be obtained
    digits_wrong,       // computed, but the proof rejected the digits
    not_converged,      // a loop hit its cap
    cancelled,          // stopped on request
};

// What a run saw besides its result: the radix test's figures and the loop.
struct PiRunDetails {
    PiRunOutcome outcome;
    uint32_t radix;          // R the run worked in (0 when it never got there)
    int32_t digits_per_word; // L, with R = 10^L
    double transform_error;  // E of the radix test; the same on every sound run
    int32_t iterations;      // AGM iterations made
};

// Storage and observers of one run, for tools and tests; every null member
// takes the default of pi_benchmark_run.
struct PiRunHooks {
    void* (*allocate)(size_t bytes);  // default pi_pages_allocate
    void (*release)(void* block);     // default pi_pages_release
    // Decides whether the result is pi; default pi_verify.
    bool (*verify)(const HpNumber* pi, uint32_t R, void* context);
    // Receives the verified result before it is freed: pi in radix R, of
    // which the leading `words` words are proven.
    void (*digits_sink)(const HpNumber* pi, int32_t words, uint32_t R, void* context);
    void* context;  // handed to verify, digits_sink and agm_fault
    // Asks the run to stop: looked at between AGM iterations, between Newton
    // steps and between the products of the final combination. A stopped run
    // fails with "Cancelled".
    const std::atomic<bool>* stop;
    // Filled with the run's details when not null.
    PiRunDetails* details;
    // Test seam: a radix of 10, 100, 1000 or 10000 replaces the radix test's
    // choice (0 measures as usual).
    uint32_t force_radix;
    // Test seam: called after the product of every AGM iteration with the
    // product, so a test can play a faulty core.
    void (*agm_fault)(HpNumber* product, int32_t iteration, void* context);
};

// pi_benchmark_run with hooks (null hooks: the defaults).
void pi_benchmark_run_with(BenchmarkResult* result, const BenchmarkProgress* progress,
                           const PiRunHooks* hooks);

// One run of a series: fills *result, reporting through progress.
using PiRunFn = void (*)(BenchmarkResult* result, const BenchmarkProgress* progress, void* context);

struct PiSeriesOptions {
    int32_t runs;                // how many runs (the default series makes 5)
    PiRunFn run;                 // null: pi_benchmark_run (with `stop`)
    void* run_context;           // handed to run
    BenchmarkResult* run_results;  // null, or room for `runs` records of each run
    // Looked at before each run and handed to the default run; a substituted
    // run function looks at it through its own context.
    const std::atomic<bool>* stop;
};

// pi_benchmark_series with a chosen run count and run function. Every run
// moves the progress numbering on by 19 (or past the highest number it
// reported), so reports never go backwards.
// Runs that could not get their memory are left out; any other failed run
// fails the series with its message and its place ("Computed digits do not
// match pi (run 3 of 5)"), and a cancelled run ends it ("Cancelled"). When
// every run failed for memory the message counts them ("All 5 benchmark runs
// failed"). Records of runs never started stay zero.
BenchmarkResult pi_benchmark_series_with(BenchmarkProgressFn callback, void* context,
                                         const PiSeriesOptions* options);

// Processor time of the calling thread in seconds.
double pi_benchmark_thread_seconds();

// The scan at the heart of the run's transform error check: the largest
// distance from an integer of the second decimal digit over positions N + 1
// down to 2 of T1, carries running from each position to the next (the
// rounding allowance not added). Exposed for tests.
double pi_transform_error_scan(int32_t N, const double* T1);
