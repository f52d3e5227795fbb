// The local history: results in an SQLite file, one row per result with its
// JSON and the columns that listing and choosing need.
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "results/result_json.h"
#include "results/result_store.h"
#include "results/result_store_url.h"

namespace fs = std::filesystem;

namespace {

// Each step takes the history from the version before it to its own; the
// file's PRAGMA user_version says how many have run. Never change a step
// that has shipped: add one.
constexpr const char* migrations[] = {
    // 1: every result as its JSON, with what listing and choosing need.
    "CREATE TABLE results ("
    "  id INTEGER PRIMARY KEY,"
    "  result_id TEXT NOT NULL UNIQUE,"
    "  started_at TEXT NOT NULL,"
    "  mode TEXT NOT NULL,"
    "  success INTEGER NOT NULL,"
    "  score REAL NOT NULL,"
    "  elapsed_time REAL NOT NULL,"
    "  record TEXT NOT NULL);",
    // 2: the machine and program of each result as columns, so a history
    // that gathers many machines can be filtered without reading every
    // record; filled from the records already stored.
    "ALTER TABLE results ADD COLUMN host_name TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE results ADD COLUMN machine_id TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE results ADD COLUMN cpu_model TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE results ADD COLUMN version TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE results ADD COLUMN engine_transform TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE results ADD COLUMN engine_word_loops TEXT NOT NULL DEFAULT '';"
    "UPDATE results SET"
    "  host_name = coalesce(json_extract(record, '$.host_name'), ''),"
    "  machine_id = coalesce(json_extract(record, '$.machine_id'), ''),"
    "  cpu_model = coalesce(json_extract(record, '$.system.cpu_model'), ''),"
    "  version = coalesce(json_extract(record, '$.version'), ''),"
    "  engine_transform = coalesce(json_extract(record, '$.engine.transform'), ''),"
    "  engine_word_loops = coalesce(json_extract(record, '$.engine.word_loops'), '');"
    "CREATE INDEX results_by_time ON results (started_at, id);"
    "CREATE INDEX results_by_score ON results (mode, success, score);"
    "CREATE INDEX results_by_machine ON results (host_name, machine_id);",
    // 3: the results waiting for a shared store (delivered_at NULL) and
    // when each was delivered; store is the store's name without password.
    "CREATE TABLE deliveries ("
    "  result_id TEXT NOT NULL REFERENCES results (result_id),"
    "  store TEXT NOT NULL,"
    "  delivered_at TEXT,"
    "  PRIMARY KEY (result_id, store));"
    "CREATE INDEX deliveries_waiting ON deliveries (store) WHERE delivered_at IS NULL;",
};
constexpr int history_schema_version = static_cast<int>(std::size(migrations));

// Long enough for another process's insert or migration; short enough that
// a stuck lock costs one line, not the result.
constexpr int busy_timeout_ms = 5000;

// The file is not a database or is corrupt: the one failure a new history
// cures.
class HistoryDamaged : public ResultStoreError {
public:
    using ResultStoreError::ResultStoreError;
};

// Another process holds a lock that SQLite's busy handler does not wait
// for: the last connection cleaning up the WAL as it closes, or the first
// one recovering it. Worth another try a moment later.
class HistoryBusy : public ResultStoreError {
public:
    using ResultStoreError::ResultStoreError;
};

// The history was written by a newer program: left alone.
class HistoryTooNew : public ResultStoreError {
public:
    using ResultStoreError::ResultStoreError;
};

// quick_check reports "*** in database main ***" and a line per finding.
std::string one_line(std::string text) {
    const std::string banner = "*** in database main ***";
    if (text.rfind(banner, 0) == 0) text.erase(0, banner.size());
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

bool is_damage(const SQLite::Exception& e) {
    const int code = e.getErrorCode() & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

[[noreturn]] void rethrow(const SQLite::Exception& e, const fs::path& path) {
    const std::string what = path.string() + ": " + e.what();
    if (is_damage(e)) throw HistoryDamaged(what);
    const int code = e.getErrorCode() & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) throw HistoryBusy(what);
    throw ResultStoreError(what);
}

class SqliteResultStore final : public ResultStore {
public:
    SqliteResultStore(const fs::path& path, int flags, bool check) try : path_(path), db_(path.string(), flags) {
        db_.setBusyTimeout(busy_timeout_ms);
        if (check) {
            // Cheap next to a benchmark, and it finds damage before a row
            // is added to it.
            const std::string verdict = db_.execAndGet("PRAGMA quick_check(1)").getString();
            if (verdict != "ok") throw HistoryDamaged(path.string() + ": integrity check: " + one_line(verdict));
        }
        const int version = db_.execAndGet("PRAGMA user_version").getInt();
        if (version > history_schema_version) {
            read_only_ = true;
            if (flags & SQLite::OPEN_CREATE) {
                throw HistoryTooNew(path.string() + " was written by a newer Numera (history version " +
                                    std::to_string(version) + ", this one knows " +
                                    std::to_string(history_schema_version) + ")");
            }
        }
        if ((flags & SQLite::OPEN_READWRITE) != 0) {
            db_.exec("PRAGMA journal_mode=WAL");
            db_.exec("PRAGMA synchronous=NORMAL");
            if (version < history_schema_version) migrate();
        }
    } catch (const SQLite::Exception& e) {
        rethrow(e, path);
    }

    int64_t add(const ResultRecord& r) override {
        if (read_only_) throw ResultStoreError(path_.string() + ": written by a newer Numera; not changed");
        try {
            SQLite::Statement insert(db_,
                                     "INSERT INTO results (result_id, started_at, mode, success, score, elapsed_time,"
                                     " record, host_name, machine_id, cpu_model, version, engine_transform,"
                                     " engine_word_loops) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"
                                     " ON CONFLICT (result_id) DO NOTHING");
            const std::string record = result_to_json(r).dump(-1, ' ', false, ResultJson::error_handler_t::replace);
            insert.bind(1, r.result_id);
            insert.bind(2, r.started_at);
            insert.bind(3, result_mode_name(r.mode));
            insert.bind(4, r.success ? 1 : 0);
            insert.bind(5, r.score);
            insert.bind(6, r.elapsed_time);
            insert.bind(7, record);
            insert.bind(8, r.host_name);
            insert.bind(9, r.machine_id);
            insert.bind(10, r.system.cpu_model);
            insert.bind(11, r.version);
            insert.bind(12, r.engine.transform);
            insert.bind(13, r.engine.word_loops);
            insert.exec();
            SQLite::Statement row(db_, "SELECT id FROM results WHERE result_id = ?");
            row.bind(1, r.result_id);
            if (!row.executeStep()) throw ResultStoreError(path_.string() + ": the stored result is gone");
            return row.getColumn(0).getInt64();
        } catch (const SQLite::Exception& e) {
            rethrow(e, path_);
        }
    }

    std::vector<StoredResult> list(const ResultQuery& q) override {
        std::string sql = "SELECT id, record FROM results WHERE 1";
        if (q.mode) sql += " AND mode = ?";
        if (!q.since.empty()) sql += " AND started_at >= ?";
        if (!q.host.empty()) sql += " AND host_name LIKE ? ESCAPE '\\'";
        sql += " ORDER BY started_at DESC, id DESC";
        if (q.limit > 0) sql += " LIMIT ?";
        return select(sql, [&](SQLite::Statement& s) {
            int i = 1;
            if (q.mode) s.bind(i++, result_mode_name(*q.mode));
            if (!q.since.empty()) s.bind(i++, q.since);
            if (!q.host.empty()) s.bind(i++, result_host_pattern_like(q.host));
            if (q.limit > 0) s.bind(i, q.limit);
        });
    }

    std::optional<StoredResult> find_id(int64_t id) override {
        return first("SELECT id, record FROM results WHERE id = ?", [&](SQLite::Statement& s) { s.bind(1, id); });
    }

    std::optional<StoredResult> find_last(std::optional<ResultMode> mode) override {
        if (!mode) {
            return first("SELECT id, record FROM results ORDER BY started_at DESC, id DESC LIMIT 1",
                         [](SQLite::Statement&) {});
        }
        return first("SELECT id, record FROM results WHERE mode = ? ORDER BY started_at DESC, id DESC LIMIT 1",
                     [&](SQLite::Statement& s) { s.bind(1, result_mode_name(*mode)); });
    }

    std::optional<StoredResult> find_best(ResultMode mode) override {
        const char* order = mode == ResultMode::stress ? "started_at DESC, id DESC" : "score DESC, started_at DESC, id DESC";
        return first(std::string("SELECT id, record FROM results WHERE mode = ? AND success = 1 ORDER BY ") + order +
                         " LIMIT 1",
                     [&](SQLite::Statement& s) { s.bind(1, result_mode_name(mode)); });
    }

    std::string location() const override { return path_.string(); }

private:
    // Runs the missing steps in one transaction that takes the write lock
    // first, so of two processes opening a new file at once one migrates and
    // the other finds it done.
    void migrate() {
        SQLite::Transaction transaction(db_, SQLite::TransactionBehavior::IMMEDIATE);
        int version = db_.execAndGet("PRAGMA user_version").getInt();
        for (; version < history_schema_version; ++version) db_.exec(migrations[version]);
        db_.exec("PRAGMA user_version = " + std::to_string(history_schema_version));
        transaction.commit();
    }

    template <typename Bind>
    std::vector<StoredResult> select(const std::string& sql, Bind bind) {
        std::vector<StoredResult> out;
        try {
            SQLite::Statement s(db_, sql);
            bind(s);
            while (s.executeStep()) {
                StoredResult stored;
                stored.id = s.getColumn(0).getInt64();
                const std::string source = path_.string() + " #" + std::to_string(stored.id);
                const ResultJson j = ResultJson::parse(s.getColumn(1).getString(), nullptr, false);
                if (j.is_discarded()) throw ResultFormatError(source, "", "the stored record is not JSON");
                stored.record = result_from_json(j, source);
                out.push_back(std::move(stored));
            }
        } catch (const SQLite::Exception& e) {
            rethrow(e, path_);
        }
        return out;
    }

    template <typename Bind>
    std::optional<StoredResult> first(const std::string& sql, Bind bind) {
        std::vector<StoredResult> rows = select(sql, bind);
        if (rows.empty()) return std::nullopt;
        return std::move(rows.front());
    }

    fs::path path_;
    SQLite::Database db_;
    bool read_only_ = false;
};

// The folder of the history, made private on first use.
void make_folder(const fs::path& path) {
    const fs::path folder = path.parent_path();
    if (folder.empty()) return;
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return;
    fs::create_directories(folder, ec);
    if (ec) throw ResultStoreError("cannot create " + folder.string() + ": " + ec.message());
    fs::permissions(folder, fs::perms::owner_all, ec);
}

// Runs fn again while the history is busy in a way SQLite does not wait
// for, up to the busy timeout, at short random intervals so that two
// processes do not retry in step.
template <typename Fn>
auto retry_busy(Fn fn) -> decltype(fn()) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms);
    std::minstd_rand jitter(static_cast<unsigned>(::getpid()));
    for (;;) {
        try {
            return fn();
        } catch (const HistoryBusy&) {
            if (std::chrono::steady_clock::now() > deadline) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + jitter() % 20));
        }
    }
}

std::unique_ptr<ResultStore> open_for_writing(const fs::path& path, bool check) {
    make_folder(path);
    return retry_busy(
        [&] { return std::make_unique<SqliteResultStore>(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE, check); });
}

// Opens and stores; adding the same result_id twice stores it once, so a
// retry after a lost answer is harmless.
void store_in(const fs::path& path, const ResultRecord& record) {
    retry_busy([&] { open_for_writing(path, true)->add(record); });
}

std::string utc_stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// Renames the damaged file (and the journal files that belong to it) aside,
// never over anything. Returns the new name of the database file.
fs::path move_aside(const fs::path& path) {
    std::string base = path.string() + ".damaged-" + utc_stamp();
    std::error_code ec;
    for (int n = 2; fs::exists(base, ec) || fs::exists(base + "-wal", ec); ++n) {
        base = path.string() + ".damaged-" + utc_stamp() + "-" + std::to_string(n);
    }
    if (::rename(path.c_str(), base.c_str()) != 0) {
        throw ResultStoreError("could not move it aside: " + std::string(std::strerror(errno)));
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string from = path.string() + suffix;
        if (fs::exists(from, ec)) ::rename(from.c_str(), (base + suffix).c_str());
    }
    return base;
}

ino_t inode_of(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

bool result_reference_parse(std::string_view text, ResultReference* ref, std::string* error) {
    *ref = ResultReference{};
    if (!text.empty() && text[0] == '#') {
        const std::string digits(text.substr(1));
        char* end = nullptr;
        const long long id = digits.empty() ? 0 : std::strtoll(digits.c_str(), &end, 10);
        if (digits.empty() || *end != '\0' || id <= 0 || digits.find_first_not_of("0123456789") != std::string::npos) {
            *error = "\"" + std::string(text) + "\" is not a history row: write #12 for row 12";
            return false;
        }
        ref->kind = ResultReference::Kind::id;
        ref->id = id;
        return true;
    }
    const std::string_view head = text.substr(0, text.find(':'));
    if (head == "last" || head == "best") {
        ref->kind = head == "last" ? ResultReference::Kind::last : ResultReference::Kind::best;
        if (head.size() < text.size()) {
            ResultMode mode{};
            const std::string_view name = text.substr(head.size() + 1);
            if (!result_mode_parse(name, &mode)) {
                *error = "\"" + std::string(text) + "\": the mode after " + std::string(head) +
                         ": is single, multi or stress";
                return false;
            }
            ref->mode = mode;
        }
        return true;
    }
    ref->kind = ResultReference::Kind::file;
    ref->file = fs::path(std::string(text));
    return true;
}

std::optional<StoredResult> result_store_find(ResultStore& store, const ResultReference& ref) {
    switch (ref.kind) {
        case ResultReference::Kind::id: return store.find_id(ref.id);
        case ResultReference::Kind::last: return store.find_last(ref.mode);
        case ResultReference::Kind::best: return store.find_best(ref.mode.value_or(ResultMode::single));
        case ResultReference::Kind::file: break;
    }
    return std::nullopt;
}

fs::path result_history_default_path() {
    const char* data = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (data != nullptr && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home != nullptr && home[0] != '\0' ? home : ".") / ".local" / "share";
    }
    return base / "numera" / "results.sqlite3";
}

std::unique_ptr<ResultStore> result_history_open(const fs::path& path) { return open_for_writing(path, false); }

std::unique_ptr<ResultStore> result_history_open_existing(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return nullptr;
    try {
        return retry_busy([&] { return std::make_unique<SqliteResultStore>(path, SQLite::OPEN_READWRITE, false); });
    } catch (const HistoryTooNew&) {
        throw;
    } catch (const HistoryDamaged&) {
        throw;
    } catch (const ResultStoreError&) {
        // A history we may read but not write (another user's, a read-only
        // mount) still lists.
        return retry_busy([&] { return std::make_unique<SqliteResultStore>(path, SQLite::OPEN_READONLY, false); });
    }
}

namespace {

std::string store_once(const ResultRecord& record, const fs::path& path) {
    std::string damage;
    ino_t damaged_inode = 0;
    try {
        store_in(path, record);
        return {};
    } catch (const HistoryDamaged& e) {
        damage = e.what();
        damaged_inode = inode_of(path);
    } catch (const std::exception& e) {
        return std::string("history: ") + e.what() + "; result not stored";
    }
    // The problem without the path that the message already names.
    const size_t colon = damage.find(": ");
    const std::string why = colon == std::string::npos ? damage : damage.substr(colon + 2);
    try {
        // Another process may have cured it in the meantime: a file that is
        // no longer the damaged one is not moved.
        if (inode_of(path) != damaged_inode) {
            store_in(path, record);
            return {};
        }
        const fs::path aside = move_aside(path);
        store_in(path, record);
        return "history: " + path.string() + " was damaged (" + why + "); moved it aside to " + aside.string() +
               " and stored this result in a new history";
    } catch (const std::exception& e) {
        return "history: " + path.string() + " is damaged (" + why + "); " + e.what() + "; result not stored";
    }
}

}  // namespace

std::string result_history_store(const ResultRecord& record, const fs::path& path) {
    return one_line(store_once(record, path));
}
