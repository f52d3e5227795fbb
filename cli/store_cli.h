// Where numera-cli keeps and reads results: --store URL, else NUMERA_STORE,
// else the local history. Storing a finished result, and `numera-cli sync`.
#pragma once

#include <string>

#include "results/result_record.h"
#include "results/result_store_url.h"

// The store named by option (--store), else by NUMERA_STORE, else the local
// history. False with a one-line *error naming where the bad name came
// from (never the name itself: it may hold a password).
bool cli_store_choose(const std::string& option, ResultStoreUrl* store, std::string* error);

// After a benchmark has printed its result: the local history keeps it
// (unless no_history; then only when a shared store does not take it), a
// shared store gets it and what was waiting for it. Problems cost one line
// each on stderr, never the result or the exit status.
void cli_store_result(const ResultRecord& record, const ResultStoreUrl& store, bool no_history);

struct SyncCommandOptions {
    std::string store;  // --store; empty: NUMERA_STORE, else every store results wait for
    bool all = false;   // also every result of the history not yet delivered there
};
// Delivers what waits; 0 when nothing is left waiting, 1 when something
// is, 2 for a store that is not a shared one.
int run_sync_command(const SyncCommandOptions& options);
