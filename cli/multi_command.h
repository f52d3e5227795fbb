// numera-cli multi: the benchmark on many CPUs at once, scored together.
#pragma once

#include <string>

#include "results/result_store_url.h"

#include "engine/benchmark.h"

struct MultiCommandOptions {
    std::string cpus;  // --cpus LIST; empty: every CPU this process may use
    int runs = pi_benchmark_series_runs;
    bool json = false;
    bool no_history = false;  // do not store the result in the history
    ResultStoreUrl store;     // --store or NUMERA_STORE
};

// Runs the workers, prints the per-CPU table and the score (or the result's
// JSON) and stores the result in the history (not when stopped with Ctrl-C
// or made of test fakes); returns the exit status: 0 success, 1 a failed run, 2 a usage error, 130
// stopped with Ctrl-C.
int run_multi_command(const MultiCommandOptions& options);
