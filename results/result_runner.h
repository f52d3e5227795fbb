// Records of the runner's two modes, made from its report, so that the
// multi-core benchmark and the stability test are printed, stored and
// compared as the single-core series is.
#pragma once

#include <string>

#include "results/result_record.h"
#include "runner/runner.h"

// A multi-core benchmark (a report of runner_multi_config): the score and
// scaling of runner_multi_result, every worker with every run (processor
// and wall seconds), the memory guard and the CPUs asked for.
ResultRecord result_from_multi(const RunnerReport& report, const SystemInfo& info, const PiEnginePath& path,
                               const std::string& started_at);

// A stability test (a report of runner_stress_config): each CPU's runs
// passed, errors and first error (its time is the failing run's end, from
// the release), how it ended; its verdict line is runner_stress_verdict's.
// Workers carry the runs that were errors only (an hour's test makes
// thousands of good ones; the counts say them).
ResultRecord result_from_stress(const RunnerReport& report, const SystemInfo& info, const PiEnginePath& path,
                                const std::string& started_at, bool keep_going);
