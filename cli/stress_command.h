// numera-cli stress: the stability test, verified runs back to back on
// every chosen CPU until a duration ends, a stop or the first error.
#pragma once

#include <string>

#include "results/result_store_url.h"

struct StressCommandOptions {
    std::string cpus;             // --cpus LIST; empty: every CPU this process may use
    std::string duration = "10m"; // --duration: 90s, 10m, 1h, 1h30m; 0 until stopped
    bool keep_going = false;      // count errors instead of stopping at the first
    bool json = false;
    bool no_history = false;      // do not store the result in the history
    ResultStoreUrl store;         // --store or NUMERA_STORE
};

// Runs the test with a live status on a terminal, prints the report (or the
// result's JSON) and stores it in the history (also when stopped: it is the
// test's end; not when made of test fakes); returns the exit status: 0 no errors, 1 any error, 2 a usage
// error, 130 stopped with Ctrl-C before a set duration ran out (with
// --duration 0, Ctrl-C is the normal end and gives 0).
int run_stress_command(const StressCommandOptions& options);
