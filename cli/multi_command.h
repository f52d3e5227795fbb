// numera-cli multi: the benchmark on many CPUs at once, scored together.
#pragma once

#include <string>

#include "engine/benchmark.h"

struct MultiCommandOptions {
    std::string cpus;  // --cpus LIST; empty: every CPU this process may use
    int runs = pi_benchmark_series_runs;
    bool json = false;
};

// Runs the workers and prints the per-CPU table and the score (or JSON);
// returns the exit status: 0 success, 1 a failed run, 2 a usage error, 130
// stopped with Ctrl-C.
int run_multi_command(const MultiCommandOptions& options);
