// The shared store: results of many machines in one PostgreSQL database,
// the same records and queries as the local history. Its tables carry a
// schema version of their own (table numera_schema) and are created and
// upgraded by whichever Numera first finds them missing or older, in one
// transaction under an advisory lock, so two machines starting at once
// migrate once. Writing needs INSERT and SELECT on numera_results and
// SELECT on numera_schema; creating or upgrading the tables needs the
// rights of their owner.
#pragma once

#include <memory>

#include "results/result_store.h"

struct ResultStoreUrl;

// The version of the tables this program creates: the first steps of the
// local history's, which also keeps local bookkeeping of its own.
inline constexpr int result_postgres_schema_version = 2;

// Connects (PGCONNECT_TIMEOUT is 10 seconds unless set), creates or
// upgrades the tables when they are missing or older. Throws
// ResultStoreError: one line, starting with the store's name, never its
// password.
std::unique_ptr<ResultStore> result_postgres_open(const ResultStoreUrl& url);

// Tests: brings the tables of an empty database to exactly this version,
// to check the upgrade from it.
void result_postgres_migrate_to(const ResultStoreUrl& url, int version);
