// The default numera-cli command: the single-core series of the app.
#pragma once

#include <string>

#include "engine/benchmark.h"

struct SeriesCommandOptions {
    int runs = pi_benchmark_series_runs;
    bool json = false;
    bool verbose = false;       // one line per AGM iteration
    std::string digits_out;     // empty: no digits file
};

// Runs the series and prints it; returns the exit status (0 success, 1 a
// failed series, 130 stopped by Ctrl-C, 2 a destination that cannot be
// written).
int run_series_command(const SeriesCommandOptions& options);
