// The PostgreSQL back end through libpqxx. Every value goes in as a
// statement parameter; the only SQL text we build is fixed.
#include "results/result_postgres.h"

#include <cstdlib>
#include <optional>
#include <pqxx/pqxx>

#include "results/result_json.h"
#include "results/result_store_url.h"

namespace {

// Each step takes the tables from the version before it to its own; never
// change a step that has shipped: add one. They mirror the history's.
constexpr const char* migrations[] = {
    // 1: every result as its JSON, with what listing and choosing need.
    // The JSON type keeps the text as written.
    "CREATE TABLE numera_results ("
    "  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    "  result_id TEXT NOT NULL UNIQUE,"
    "  started_at TEXT NOT NULL,"
    "  mode TEXT NOT NULL,"
    "  success BOOLEAN NOT NULL,"
    "  score DOUBLE PRECISION NOT NULL,"
    "  elapsed_time DOUBLE PRECISION NOT NULL,"
    "  record JSON NOT NULL)",
    // 2: the machine and program of each result as columns, filled from the
    // records already stored.
    "ALTER TABLE numera_results"
    "  ADD COLUMN host_name TEXT NOT NULL DEFAULT '',"
    "  ADD COLUMN machine_id TEXT NOT NULL DEFAULT '',"
    "  ADD COLUMN cpu_model TEXT NOT NULL DEFAULT '',"
    "  ADD COLUMN version TEXT NOT NULL DEFAULT '',"
    "  ADD COLUMN engine_transform TEXT NOT NULL DEFAULT '',"
    "  ADD COLUMN engine_word_loops TEXT NOT NULL DEFAULT '';"
    "UPDATE numera_results SET"
    "  host_name = coalesce(record->>'host_name', ''),"
    "  machine_id = coalesce(record->>'machine_id', ''),"
    "  cpu_model = coalesce(record->'system'->>'cpu_model', ''),"
    "  version = coalesce(record->>'version', ''),"
    "  engine_transform = coalesce(record->'engine'->>'transform', ''),"
    "  engine_word_loops = coalesce(record->'engine'->>'word_loops', '');"
    "CREATE INDEX numera_results_by_time ON numera_results (started_at, id);"
    "CREATE INDEX numera_results_by_score ON numera_results (mode, success, score);"
    "CREATE INDEX numera_results_by_machine ON numera_results (host_name, machine_id);",
};
static_assert(std::size(migrations) == result_postgres_schema_version);

// Taken for the length of a migration's transaction: 'numera' in ASCII.
constexpr const char* lock_migrations = "SELECT pg_advisory_xact_lock(121381278049889)";

// Texts are UTF-8 in the database; bytes that are not (kernel texts may
// hold any) are replaced as the JSON replaces them.
std::string utf8(const std::string& text) {
    return ResultJson::parse(ResultJson(text).dump(-1, ' ', false, ResultJson::error_handler_t::replace))
        .get<std::string>();
}

class PgResultStore final : public ResultStore {
public:
    explicit PgResultStore(const ResultStoreUrl& url) : url_(url) {
        guard("cannot connect", [&] {
            ::setenv("PGCONNECT_TIMEOUT", "10", 0);
            connection_.emplace(url_.conninfo);
            connection_->set_client_encoding("UTF8");
        });
        guard("cannot read its schema version", [&] { version_ = read_version(); });
        if (version_ < result_postgres_schema_version) migrate(result_postgres_schema_version);
    }

    // Tests: an empty database brought to an older version.
    PgResultStore(const ResultStoreUrl& url, int version) : url_(url) {
        guard("cannot connect", [&] { connection_.emplace(url_.conninfo); });
        migrate(version);
    }

    int64_t add(const ResultRecord& r) override {
        if (version_ > result_postgres_schema_version) {
            throw ResultStoreError(url_.display + ": its tables were made by a newer Numera (version " +
                                   std::to_string(version_) + ", this one knows " +
                                   std::to_string(result_postgres_schema_version) + "); not changed");
        }
        int64_t id = 0;
        guard("cannot store the result", [&] {
            pqxx::work tx(*connection_);
            // Looked up first: an insert that finds the result already there
            // still uses up a row number.
            const std::string result_id = utf8(r.result_id);
            pqxx::result row = tx.exec_params("SELECT id FROM numera_results WHERE result_id = $1", result_id);
            if (!row.empty()) {
                id = row[0][0].as<int64_t>();
                return;
            }
            const std::string record =
                result_to_json(r).dump(-1, ' ', false, ResultJson::error_handler_t::replace);
            row = tx.exec_params(
                "INSERT INTO numera_results (result_id, started_at, mode, success, score, elapsed_time, record,"
                " host_name, machine_id, cpu_model, version, engine_transform, engine_word_loops)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13)"
                " ON CONFLICT (result_id) DO NOTHING RETURNING id",
                result_id, utf8(r.started_at), result_mode_name(r.mode), r.success, r.score, r.elapsed_time,
                record, utf8(r.host_name), utf8(r.machine_id), utf8(r.system.cpu_model), utf8(r.version),
                utf8(r.engine.transform), utf8(r.engine.word_loops));
            // Another machine delivered the same result a moment ago.
            if (row.empty()) row = tx.exec_params("SELECT id FROM numera_results WHERE result_id = $1", result_id);
            if (row.empty()) throw ResultStoreError(url_.display + ": the stored result is gone");
            id = row[0][0].as<int64_t>();
            tx.commit();
        });
        return id;
    }

    std::vector<StoredResult> list(const ResultQuery& q) override {
        std::optional<std::string> mode, since, host;
        std::optional<int64_t> limit;
        if (q.mode) mode = result_mode_name(*q.mode);
        if (!q.since.empty()) since = q.since;
        if (!q.host.empty()) host = result_host_pattern_like(q.host);
        if (q.limit > 0) limit = q.limit;
        return select(
            "SELECT id, record FROM numera_results"
            " WHERE ($1::text IS NULL OR mode = $1)"
            " AND ($2::text IS NULL OR started_at >= $2)"
            " AND ($3::text IS NULL OR host_name ILIKE $3 ESCAPE '\\')"
            " ORDER BY started_at DESC, id DESC LIMIT $4::bigint",
            mode, since, host, limit);
    }

    std::optional<StoredResult> find_id(int64_t id) override {
        return first(select("SELECT id, record FROM numera_results WHERE id = $1", id));
    }

    std::optional<StoredResult> find_last(std::optional<ResultMode> mode) override {
        std::optional<std::string> name;
        if (mode) name = result_mode_name(*mode);
        return first(select("SELECT id, record FROM numera_results WHERE ($1::text IS NULL OR mode = $1)"
                            " ORDER BY started_at DESC, id DESC LIMIT 1",
                            name));
    }

    std::optional<StoredResult> find_best(ResultMode mode) override {
        // Stability tests have no score: their newest successful one.
        const char* sql = mode == ResultMode::stress
                              ? "SELECT id, record FROM numera_results WHERE mode = $1 AND success"
                                " ORDER BY started_at DESC, id DESC LIMIT 1"
                              : "SELECT id, record FROM numera_results WHERE mode = $1 AND success"
                                " ORDER BY score DESC, started_at DESC, id DESC LIMIT 1";
        return first(select(sql, std::string(result_mode_name(mode))));
    }

    std::string location() const override { return url_.display; }

private:
    // Runs fn, turning libpq's and libpqxx's errors into one scrubbed line
    // that says what was being done and, for missing rights, which.
    template <typename Fn>
    void guard(const char* doing, Fn fn) {
        try {
            fn();
        } catch (const ResultStoreError&) {
            throw;
        } catch (const pqxx::insufficient_privilege& e) {
            throw ResultStoreError(result_store_scrub(url_.display + ": " + doing + ": the role lacks the rights (" +
                                                          e.what() + ")",
                                                      url_));
        } catch (const std::exception& e) {
            throw ResultStoreError(result_store_scrub(url_.display + ": " + doing + ": " + e.what(), url_));
        }
    }

    int read_version() {
        pqxx::read_transaction tx(*connection_);
        const pqxx::result exists = tx.exec("SELECT to_regclass('numera_schema') IS NOT NULL");
        if (!exists[0][0].as<bool>()) return 0;
        const pqxx::result v = tx.exec("SELECT coalesce(max(version), 0) FROM numera_schema");
        return v[0][0].as<int>();
    }

    void migrate(int target) {
        const int found = version_;
        try {
            pqxx::work tx(*connection_);
            tx.exec(lock_migrations);
            // Another machine may have migrated while we waited for the lock.
            tx.exec("CREATE TABLE IF NOT EXISTS numera_schema (version INTEGER NOT NULL)");
            int version = tx.exec("SELECT coalesce(max(version), 0) FROM numera_schema")[0][0].as<int>();
            if (version < target) {
                for (; version < target; ++version) tx.exec(migrations[version]);
                tx.exec("DELETE FROM numera_schema");
                tx.exec_params("INSERT INTO numera_schema (version) VALUES ($1)", target);
            }
            tx.commit();
            version_ = version;
        } catch (const pqxx::insufficient_privilege& e) {
            throw ResultStoreError(result_store_scrub(
                url_.display + ": " +
                    (found == 0 ? std::string("its tables are not created yet")
                                : "its tables are at version " + std::to_string(found)) +
                    " and this Numera needs version " + std::to_string(target) +
                    "; creating or upgrading them needs the rights of the database's owner (" + e.what() +
                    "): run numera-cli sync --store with the owner's role once",
                url_));
        } catch (const std::exception& e) {
            throw ResultStoreError(result_store_scrub(url_.display + ": cannot create or upgrade its tables: " +
                                                          e.what(),
                                                      url_));
        }
    }

    template <typename... Args>
    std::vector<StoredResult> select(const char* sql, Args&&... args) {
        std::vector<StoredResult> out;
        guard("cannot read results", [&] {
            pqxx::read_transaction tx(*connection_);
            const pqxx::result rows = tx.exec_params(sql, std::forward<Args>(args)...);
            for (const auto& row : rows) {
                StoredResult stored;
                stored.id = row[0].as<int64_t>();
                const std::string source = url_.display + " #" + std::to_string(stored.id);
                const ResultJson j = ResultJson::parse(row[1].as<std::string>(), nullptr, false);
                if (j.is_discarded()) throw ResultFormatError(source, "", "the stored record is not JSON");
                stored.record = result_from_json(j, source);
                out.push_back(std::move(stored));
            }
        });
        return out;
    }

    static std::optional<StoredResult> first(std::vector<StoredResult> rows) {
        if (rows.empty()) return std::nullopt;
        return std::move(rows.front());
    }

    ResultStoreUrl url_;
    std::optional<pqxx::connection> connection_;
    int version_ = 0;
};

}  // namespace

std::unique_ptr<ResultStore> result_postgres_open(const ResultStoreUrl& url) {
    return std::make_unique<PgResultStore>(url);
}

void result_postgres_migrate_to(const ResultStoreUrl& url, int version) { PgResultStore store(url, version); }

bool result_postgres_available() { return true; }
