// The runner: the engine on several CPUs at once, for the multi-core
// benchmark and the stability test.
//
// runner_run starts one worker thread per CPU of the list, pins each to its
// CPU, releases them together from a barrier and lets each make runs of the
// engine back to back: a fixed number each (the multi-core benchmark) or
// until a duration ends, a stop is asked for or an error turns up (the
// stability test). It times the whole in wall-clock time from the release
// to the last worker's end and keeps a record of every run. The engine stays
// single-threaded; the threads are the runner's.
//
// Front ends use it like this:
//   RunnerConfig config = runner_multi_config(cpus, runs);  // or runner_stress_config
//   config.stop = &stop_flag;                               // set from any thread to stop
//   config.on_event = ...;                                  // live display, optional
//   RunnerReport report;
//   runner_run(&config, &report);                            // blocks; call it off the GUI thread
//   RunnerMultiResult multi = runner_multi_result(report);   // or runner_stress_verdict(report)
//
// Threads: runner_run blocks the calling thread (the supervisor) until every
// worker has ended. The supervisor watches the stop flag, the duration and
// the memory of errors, and calls on_event with ticks; workers call on_event
// with their own events, concurrently with each other.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/benchmark.h"
#include "sysinfo/cpu_list.h"

// ---------------------------------------------------------------------------
// Constants and messages

// Memory one run of the engine holds at its peak (its nine work areas of
// 75,497,592 bytes, the proof and the allocator's slack), rounded up.
inline constexpr int64_t runner_run_bytes = int64_t{78} << 20;

// Memory left to the rest of the machine when deciding how many runs fit at
// once: runner_memory_margin_bytes plus a tenth of what is available.
inline constexpr int64_t runner_memory_margin_bytes = int64_t{256} << 20;

// How often the supervisor looks at the stop flag and the clock. A stop is
// handed to the workers within this time, and they see it at the engine's
// next check.
inline constexpr double runner_poll_seconds = 0.01;

// A run whose radix test measured another transform error or chose another
// radix than the reference run (the first verified run of the whole test to
// end): the test makes the same operations on the same inputs each time, so
// on sound hardware every run measures the same, bit for bit.
inline constexpr const char* runner_message_radix_differs = "The radix test measured a different transform error";

// A worker whose thread could not be started: an error on its CPU.
inline constexpr const char* runner_message_no_thread = "Could not start a worker thread";

// ---------------------------------------------------------------------------
// The run function

// What a worker hands its run function for one run.
struct RunnerRunCall {
    int32_t worker;  // index of the worker in the CPU list, from 0
    int32_t cpu;     // the CPU it runs on (pinned when the pinning took)
    int32_t run;     // number of this run on this worker, from 1
    // For the engine: `stop` is the runner's own flag, `details` the run's
    // record; prepare_hooks (see RunnerConfig) may have set more.
    const PiRunHooks* hooks;
    // The run's AGM iterations, numbered from 1 within the run; forwarded to
    // on_event as iteration events. Never null.
    const BenchmarkProgress* progress;
};

// Makes one run: fills *result and *call->hooks->details as
// pi_benchmark_run_with does, honours hooks->stop (a stopped run fails with
// pi_message_cancelled and outcome cancelled) and, when it decides whether
// its digits are right, asks hooks->verify if set. Called on the worker
// thread; must not keep state shared between workers without locking.
using RunnerRunFn = void (*)(const RunnerRunCall* call, BenchmarkResult* result, void* context);

// The default run function: pi_benchmark_run_with on the calling thread.
void runner_engine_run(const RunnerRunCall* call, BenchmarkResult* result, void* context);

// Lets the front end change a run's hooks before the run (test seams: a
// failed proof on one CPU's run through hooks->verify and hooks->context).
// `stop` and `details` must be left as they are.
using RunnerHooksFn = void (*)(const RunnerRunCall* call, PiRunHooks* hooks, void* context);

// ---------------------------------------------------------------------------
// Records

// One run on one worker.
struct RunnerRunRecord {
    int32_t run;                // number on its worker, from 1
    BenchmarkResult result;     // the engine's record: success, digits, timed processor seconds, score, message
    PiRunDetails details;       // outcome, radix, transform error, AGM iterations
    bool error;                 // counts as an error (see runner_run_is_error)
    const char* error_message;  // why it is an error (a pi_message_* or runner_message_*); null when none
    double start_seconds;       // wall seconds from the release to the run's start
    double wall_seconds;        // wall seconds of the whole run (allocation, proof and freeing included)
    double processor_seconds;   // the worker thread's processor seconds over the same span
};

// A worker's record: the CPU, whether it is pinned there, and its runs.
struct RunnerWorkerReport {
    int32_t cpu;
    SysinfoCpuKind kind;
    bool pinned;               // pthread_setaffinity_np took
    std::string pin_error;     // strerror text when it did not
    int32_t runs_started;
    int32_t runs_passed;       // verified and consistent with the reference
    int32_t errors;            // runs that count as errors
    int32_t runs_cancelled;    // ended by a stop (not errors)
    bool has_error;
    RunnerRunRecord first_error;  // valid when has_error
    // Every run in order when RunnerConfig::keep_runs, else only the runs
    // that are errors (a stability test of hours keeps no thousands of records).
    std::vector<RunnerRunRecord> runs;
    double end_seconds;        // wall seconds from the release to the worker's end
    double best_score;         // highest score of one passed run, 0 when none
    double mean_score;         // mean score of its passed runs, rounded as a series rounds, 0 when none
};

// Why the runner ended.
enum class RunnerEnd : int32_t {
    completed = 0,   // every worker made its runs (multi-core)
    duration,        // the duration ran out (stability)
    stopped,         // the caller's stop flag
    first_error,     // an error with stop_on_error
};

struct RunnerReport {
    std::vector<RunnerWorkerReport> workers;  // in the order of the CPUs used
    std::vector<int32_t> cpus_requested;      // the list as asked for
    // Memory: how much was available, and whether fewer CPUs than asked are
    // used because W runs at once would not fit (then the first ones of the
    // list are used).
    int64_t available_bytes;   // -1 when unknown (no guard applied)
    bool memory_limited;
    RunnerEnd end;
    double wall_seconds;       // release to the last worker's end
    // The reference of the radix test: the first verified run of the whole
    // test to end (0 and 0.0 until one has).
    uint32_t reference_radix;
    double reference_transform_error;
    // The first error of the whole test, in the order the runner saw them.
    bool has_error;
    int32_t first_error_worker;  // index into workers
    RunnerRunRecord first_error;
    int32_t runs_per_worker;   // as configured (0: until stopped)
    double duration_seconds;   // as configured (0: none)
};

// ---------------------------------------------------------------------------
// Live events

enum class RunnerEventKind : int32_t {
    released = 0,  // supervisor: the workers are released; seconds = 0
    pinned,        // worker: pinned (or not, see the report) before the barrier
    run_started,   // worker: run `run` starts
    iteration,     // worker: an AGM iteration of run `run` ended
    run_finished,  // worker: run `run` ended; record points at its record
    worker_finished,  // worker: no more runs on this worker
    tick,          // supervisor: at most once per tick_seconds while workers run
    finished,      // supervisor: every worker ended; the report is complete
};

// A worker's counters as the supervisor sees them at a tick.
struct RunnerWorkerStatus {
    int32_t cpu;
    int32_t runs_passed;
    int32_t errors;
    int32_t current_run;  // the run in progress, 0 when none
    bool finished;
};

struct RunnerEvent {
    RunnerEventKind kind;
    int32_t worker;   // -1 for supervisor events
    int32_t cpu;      // -1 for supervisor events
    int32_t run;      // run number on the worker, 0 when not about a run
    double seconds;   // wall seconds since the release (0 before it)
    // iteration events: the run's iteration (from 1) and its precision in digits
    int32_t iteration;
    int32_t precision_digits;
    const RunnerRunRecord* record;            // run_finished: the run's record
    const RunnerWorkerStatus* statuses;       // tick: one per worker
    int32_t status_count;
};

// Receives every event. Worker events come from the worker threads at the
// same time as each other, so the function must be thread-safe and quick
// (post to a queue; the workers wait for it). Pointers inside the event are
// valid only during the call.
using RunnerEventFn = void (*)(const RunnerEvent* event, void* context);

// ---------------------------------------------------------------------------
// Configuration

struct RunnerConfig {
    std::vector<SysinfoCpu> cpus;   // CPUs to run on, in order; one worker each
    int32_t runs_per_worker;        // runs per worker; 0: until the duration, a stop or an error
    double duration_seconds;        // >0: stop the workers this long after the release; 0: no limit
    bool stop_on_error;             // the first error stops every worker
    bool keep_runs;                 // keep every run's record (else only errors)
    // Caller's stop: set it (from any thread, or a signal handler) to end
    // the workers; runs in progress end at the engine's next check. May be null.
    const std::atomic<bool>* stop;
    // Memory guard: run on at most as many CPUs as runs fit in
    // available_bytes (minus the margin). -1 reads MemAvailable; a value
    // below -1 turns the guard off.
    int64_t available_bytes;
    int64_t run_bytes;               // memory per run (runner_run_bytes)
    RunnerRunFn run;                 // null: runner_engine_run
    void* run_context;
    RunnerHooksFn prepare_hooks;     // null: none
    void* hooks_context;
    RunnerEventFn on_event;          // null: none
    void* event_context;
    double tick_seconds;             // interval of tick events (1.0)
};

// The multi-core benchmark: `runs` verified runs on each CPU, every record
// kept, no stop on error (the records show whether a fault repeats).
RunnerConfig runner_multi_config(std::vector<SysinfoCpu> cpus, int32_t runs);

// The stability test: runs back to back until `duration_seconds` (0: until
// stopped); the first error stops all unless keep_going.
RunnerConfig runner_stress_config(std::vector<SysinfoCpu> cpus, double duration_seconds, bool keep_going);

// The CPUs a worker may go on by default: the online CPUs with their kinds,
// limited to those this process may run on (its affinity mask).
std::vector<SysinfoCpu> runner_default_cpus();

// How many of `wanted` runs of `run_bytes` fit at once in `available_bytes`
// after the margin; at least 1 when wanted is (a single run is no worse than the
// single-core series, which makes no check).
int32_t runner_workers_that_fit(int64_t available_bytes, int64_t run_bytes, int32_t wanted);

// Runs the workers as configured and fills *report. Blocks until every
// worker has ended. Safe to call from any thread; several runner_run calls
// at once would share the CPUs and measure nonsense.
void runner_run(const RunnerConfig* config, RunnerReport* report);

// Whether a run with these details is an error against the reference radix
// and transform error (reference_radix 0: none yet): a failed proof, a loop
// that did not converge, an allocation that failed, or a radix test that
// measured differently. Returns the message, or null for no error (passed,
// or cancelled).
const char* runner_run_error(const PiRunDetails& details, uint32_t reference_radix,
                             double reference_transform_error);

// ---------------------------------------------------------------------------
// The multi-core result

struct RunnerMultiResult {
    bool success;              // every run of every worker passed
    int32_t workers;           // W
    int32_t runs_per_worker;   // r
    int32_t digits;            // D of every run
    double wall_seconds;       // T
    double score;              // ceil(W r D (log2 D)^2 / T / 1765633.002816317), 0 on failure
    double best_worker_score;  // the highest mean_score of a worker
    double scaling;            // score / (W x best_worker_score), 0 on failure
    // Empty on success; else the first failure with its place, for example
    // "Computed digits do not match pi (CPU 3, run 2 of 5)", or "Cancelled".
    std::string error_message;
};

// The multi-core score for W workers of r runs of D digits in T wall
// seconds, formed in the order of a single run's score (so that with
// perfect scaling it is W times that score): D log2 D, times log2 D, times
// W r, over T, over 1765633.002816317; 0 when T is not positive.
double runner_multi_score(int32_t workers, int32_t runs_per_worker, int32_t digits, double wall_seconds);

// Folds a report of runner_multi_config into the result.
RunnerMultiResult runner_multi_result(const RunnerReport& report);

// ---------------------------------------------------------------------------
// The stability verdict

// One line: "No errors: 16 CPUs, 10:00, 1,312 runs" (time from the release
// to the end), or for the first error "Error on CPU 7 after 3:12: Computed
// digits do not match pi" (time from the release to that run's end). A stop
// before a set duration ran out adds " (stopped before 10:00)" to the first
// form; more than one error adds " (5 errors on 2 CPUs)" to the second.
std::string runner_stress_verdict(const RunnerReport& report);

// Total runs passed over all workers, and total errors.
int64_t runner_runs_passed(const RunnerReport& report);
int64_t runner_errors(const RunnerReport& report);

// "3:12" under an hour, "1:02:03" from an hour; whole seconds, rounded down.
std::string runner_format_clock(double seconds);

// "1,312": thousands separated by commas.
std::string runner_format_count(int64_t count);
