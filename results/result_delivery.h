// Results on their way to a shared store. A result is kept in the local
// history first and marked there as waiting for the store; it is delivered
// now or by a later run or `numera-cli sync`, exactly once (the store keeps
// one row per result_id, so a delivery repeated after a lost answer adds
// nothing). A store that is down, refuses the role or is too new never
// costs a result.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "results/result_record.h"
#include "results/result_store_url.h"

struct ResultDelivery {
    bool delivered_this = false;  // the new result reached the store
    int64_t delivered_earlier = 0;  // results that were waiting and reached it now
    int64_t waiting = 0;          // results still waiting for the store
    bool kept_locally = false;    // the new result is in the local history
    std::string problem;          // why the store did not take them (one line, no password); "" when it did
    std::string local_problem;    // the local history's one line, "" when it was fine
};

// After a benchmark: stores the record in the local history at `history`,
// marks it waiting for `store` (a PostgreSQL store) and delivers it with
// every result waiting before it. With keep_local false the record goes
// straight to the store and into the history only when the store does not
// take it. Never throws.
ResultDelivery result_deliver(const ResultRecord& record, const std::filesystem::path& history,
                              const ResultStoreUrl& store, bool keep_local);

// Delivers what waits in the history for `store`. Never throws.
ResultDelivery result_deliver_waiting(const std::filesystem::path& history, const ResultStoreUrl& store);

// Marks every result of the history not yet delivered to `store` as
// waiting for it (to fill a new store with what a machine already has).
// Returns how many were marked. Throws ResultStoreError.
int64_t result_mark_all_waiting(const std::filesystem::path& history, const ResultStoreUrl& store);

// The names of the stores that results wait for, with their counts.
struct ResultWaiting {
    std::string store;
    int64_t results = 0;
};
// Throws ResultStoreError.
std::vector<ResultWaiting> result_waiting(const std::filesystem::path& history);
