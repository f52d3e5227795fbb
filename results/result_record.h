// A finished benchmark as a record that outlives the process. The single-core
// series, the multi-core run and the stability test share one shape, so the
// history, the comparison, the exports and the report read them alike.
// Plain values of any length (a result read from another machine's file may
// hold longer texts than SystemInfo's fixed fields); no Qt, no globals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/benchmark.h"
#include "engine/engine_path.h"
#include "sysinfo/system_info.h"

enum class ResultMode : int32_t {
    single = 0,  // the series of runs on one core
    multi,       // one worker per selected CPU, all released together
    stress,      // verified runs back to back on every selected CPU
};

// "single", "multi", "stress".
const char* result_mode_name(ResultMode mode);
// Sets *mode from one of those names; false for anything else.
bool result_mode_parse(std::string_view name, ResultMode* mode);

// One run: of the series, or of one worker.
struct ResultRun {
    int32_t run = 0;                 // its number in the series or on its worker, from 1
    bool success = false;            // verified, and (on a worker) not an error by the radix test
    bool verified = false;           // its digits were proven to be pi
    int32_t digits_calculated = 0;   // 0 for a failed run
    double elapsed_time = 0;         // processor seconds of the computation, as the engine timed it
    double score = 0;                // 0 for a failed run
    uint32_t radix = 0;              // radix it worked in; 0 when it failed before its radix test
    double transform_error = 0;      // E of its radix test; the same on every sound run
    int32_t iterations = 0;          // AGM iterations made
    std::string error_message;       // empty on success
    // Measured by the runner (multi and stress) only: wall seconds from the
    // release of the workers to the run's start, wall seconds of the whole
    // run and its thread's processor seconds over that span (allocation and
    // proof included).
    std::optional<double> start_time;
    std::optional<double> wall_time;
    std::optional<double> processor_time;
};

// One worker of a multi-core run or of a stability test, pinned to one CPU.
struct ResultWorker {
    int32_t cpu = 0;                 // logical CPU number
    std::string kind = "unknown";    // "performance", "efficiency", or "unknown" on a processor of one kind
    bool pinned = false;             // its thread was pinned to the CPU
    std::string pin_error;           // why not, when it was not
    // multi: every run; stress: the runs that were errors (an hour's test
    // makes thousands of good ones: the counts say them).
    std::vector<ResultRun> runs;
    int64_t runs_started = 0;
    int64_t runs_passed = 0;         // verified runs
    int64_t runs_cancelled = 0;      // ended by a stop (not errors)
    int64_t errors = 0;              // failed runs
    double score = 0;                // mean score of its passed runs, 0 when none
    // The first failed run on this CPU; first_error_run 0 when there was none.
    int64_t first_error_run = 0;     // its number on this CPU, from 1
    double first_error_time = 0;     // wall seconds from the release of the workers to that run's end
    std::string first_error;         // its message
};

// The machine facts: SystemInfo's fields under the same names.
struct ResultMachine {
    std::string cpu_model;
    int32_t cpu_cores_physical = 0;
    int32_t cpu_cores_logical = 0;
    int32_t cpu_frequency_mhz = 0;
    int32_t cpu_cores_performance = 0;
    int32_t cpu_cores_efficiency = 0;
    int32_t cpu_frequency_p_max_mhz = 0;
    int32_t cpu_frequency_e_max_mhz = 0;
    int64_t total_memory_mb = 0;
    std::string os_name;
    std::string os_version;
    std::string architecture;
    bool success = false;
    std::string error_message;
};

// The engine's instruction-set paths (PiEnginePath as owned strings).
struct ResultEngine {
    std::string transform;
    std::string word_loops;
    bool narrowed = false;
};

// The memory guard of a multi-core run or a stability test: fewer CPUs
// than asked for run when their runs would not fit at once.
struct ResultMemory {
    int64_t available_bytes = -1;        // MemAvailable at the start; -1 unknown
    int64_t bytes_per_run = 0;
    bool limited = false;                // fewer CPUs ran than were asked for
    std::vector<int32_t> cpus_requested;
};

// What only a multi-core run has.
struct ResultMulti {
    int32_t runs_per_worker = 0;
    double best_worker_score = 0;   // the highest mean score of one worker
    double scaling = 0;             // score / (workers × best_worker_score)
};

// What only a stability test has.
struct ResultStress {
    double duration_requested = 0;  // seconds; 0 ran until stopped
    bool keep_going = false;        // ran on after the first error
    std::string ended_by;           // "duration", "stopped" or "first_error"
    // The radix test's figures every run must measure: those of the first
    // verified run (0 when none verified).
    uint32_t reference_radix = 0;
    double reference_transform_error = 0;
};

struct ResultRecord {
    // Made once when the result is made (a random UUID): the same result
    // stored twice, or delivered twice to a shared store, is one result.
    std::string result_id;
    ResultMode mode = ResultMode::single;
    std::string started_at;         // UTC, ISO 8601: "2025-06-01T12:34:56Z"
    bool success = false;
    std::string error_message;      // empty on success
    int32_t digits_calculated = 0;  // digits of one run
    // single: summed processor seconds of the runs; multi and stress: wall
    // seconds from the release of the workers to the end.
    double elapsed_time = 0;
    // single: mean run score; multi: the multi-core score (W times the
    // single-core score with perfect scaling); stress: 0 (it has a verdict).
    double score = 0;
    std::vector<ResultRun> runs;        // single: each run started
    std::vector<ResultWorker> workers;  // multi and stress: each CPU's worker
    ResultMemory memory;                // multi and stress
    ResultMulti multi;                  // mode multi only
    ResultStress stress;                // mode stress only
    std::string version;                // program version that made it
    ResultEngine engine;
    ResultMachine system;
    std::string host_name;
    std::string machine_id;             // stable, hashed machine identifier; "" unknown
    // The runs were the CLI's test fakes, not pi: such a record is printed
    // but never stored.
    bool test_fake_runs = false;
};

// The version this program writes into its records.
const char* result_program_version();

// A new random identifier: a version 4 UUID in lower-case hex.
std::string result_new_id();

// The current time, UTC, as "YYYY-MM-DDTHH:MM:SSZ".
std::string result_utc_now();

// This machine's host name ("" when the kernel gives none).
std::string result_host_name();

ResultMachine result_machine_from(const SystemInfo& info);
ResultEngine result_engine_from(const PiEnginePath& path);

// The facts back in SystemInfo, texts truncated to its fields, for
// ResultFormatter's display texts.
SystemInfo result_machine_to_system_info(const ResultMachine& machine);

// A record of the single-core series: `started` runs (records and details
// side by side, those that ran), the series' result, this machine and
// engine; a new result_id, this program's version and host name.
ResultRecord result_from_series(const BenchmarkResult& series, const BenchmarkResult* runs,
                                const PiRunDetails* details, size_t started, const SystemInfo& info,
                                const PiEnginePath& path, const std::string& started_at);

// The engine path for people, as the "Engine:" line has it: "x86-64-v4", or
// "x86-64-v4 transform, x86-64-v3 word loops", with " (narrowed for testing)".
std::string result_engine_text(const ResultEngine& engine);

// One line saying how it ended. single and multi: "Verified" or the error
// message; stress: runner_stress_verdict's line, "No errors: 2 CPUs, 10:00,
// 131 runs" (" (stopped before 10:00)" when stopped early) or "Error on CPU 1
// after 3:12: Computed digits do not match pi" (" (3 errors on 2 CPUs)"
// when there were more).
std::string result_verdict(const ResultRecord& record);

// Minutes and seconds as "m:ss", hours as "h:mm:ss" (whole seconds, rounded down).
std::string result_duration_text(double seconds);

// Two results' scores mean the same thing only at the same mode, program
// version and engine path. Fills *reasons (when not null) with one phrase
// per difference, A's value first ("different engine path: x86-64-v4 vs x86-64-v3").
bool result_comparable(const ResultRecord& a, const ResultRecord& b, std::vector<std::string>* reasons);
