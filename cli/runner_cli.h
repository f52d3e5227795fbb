// What the multi and stress commands share: choosing CPUs, durations, the
// test seams of the runner and the notes under their tables (their JSON is
// the results layer's record).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runner/runner.h"

// The CPUs of --cpus LIST ("0-3,8"), each with its kind, or every CPU this
// process may use when the list is empty. False with a one-line reason when
// the list is malformed, empty or names a CPU that is offline or outside
// the process's affinity.
bool cli_select_cpus(const std::string& list, std::vector<SysinfoCpu>* cpus, std::string* error);

// "0-3,8": CPU numbers as the kernel writes lists (input in any order).
std::string cli_format_cpu_list(std::vector<int32_t> cpus);

// Seconds of a duration such as "90s", "10m", "1h", "1h30m" or "0"; nullopt
// for anything else (a number without a unit, unknown units, a unit twice,
// more than 10,000 hours).
std::optional<double> cli_parse_duration(std::string_view text);

// Test seams read from the environment:
//   NUMERA_TEST_FAIL_RUN=CPU:RUN[,CPU:RUN...]  the proof of that run on that
//       CPU fails (through the engine's verify hook), to check attribution;
//   NUMERA_TEST_FAKE_RUN_MS=N  every run is a fake of N milliseconds that
//       computes nothing (it sleeps, honours the stop and asks the verify
//       hook), so the command's handling can be tested in seconds.
struct CliRunnerSeams {
    std::set<std::pair<int32_t, int32_t>> fail;  // (CPU, run)
    int32_t fake_ms = 0;
};

// Reads the seams and wires them into *config; *seams must outlive the run.
// Returns false with a reason when a variable is malformed. Says on stderr
// when runs are fakes.
bool cli_apply_test_seams(RunnerConfig* config, CliRunnerSeams* seams, std::string* error);

// One line when the memory guard used fewer CPUs than asked for; nothing
// otherwise.
void cli_print_memory_note(const RunnerReport& report, FILE* out);

// One line per worker that could not be pinned.
void cli_print_pin_notes(const RunnerReport& report, FILE* out);
