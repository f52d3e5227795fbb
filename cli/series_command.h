// The default numera-cli command: the single-core series of the app.
#pragma once

#include <string>

#include "engine/benchmark.h"
#include "results/result_store_url.h"

struct SeriesCommandOptions {
    int runs = pi_benchmark_series_runs;
    bool json = false;
    bool verbose = false;       // one line per AGM iteration
    std::string digits_out;     // empty: no digits file
    bool no_history = false;    // do not store the result in the history
    ResultStoreUrl store;       // --store or NUMERA_STORE
};

// Runs the series, prints it and stores it in the history (a series
// stopped by Ctrl-C is not stored); returns the exit status (0 success, 1 a
// failed series, 130 stopped by Ctrl-C, 2 a destination that cannot be
// written). A history that fails costs one line on stderr, never the result.
int run_series_command(const SeriesCommandOptions& options);
