#include "results/result_delivery.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "results/result_json.h"

namespace fs = std::filesystem;

namespace {

bool busy(const SQLite::Exception& e) {
    const int code = e.getErrorCode() & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

// Runs fn again while another process holds a lock that SQLite's busy
// handler does not wait for (as the history itself does), for up to five
// seconds; other errors become ResultStoreError naming the file.
template <typename Fn>
auto on_history(const fs::path& path, Fn fn) -> decltype(fn()) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::minstd_rand jitter(static_cast<unsigned>(::getpid()));
    for (;;) {
        try {
            return fn();
        } catch (const SQLite::Exception& e) {
            if (!busy(e) || std::chrono::steady_clock::now() > deadline) {
                throw ResultStoreError(path.string() + ": " + e.what());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + jitter() % 20));
        }
    }
}

// The deliveries table of the local history (made by its migrations, run
// when the history is opened first).
class Bookkeeping {
public:
    explicit Bookkeeping(const fs::path& path) : path_(path), db_(path.string(), SQLite::OPEN_READWRITE) {
        db_.setBusyTimeout(5000);
    }

    void mark(const std::string& result_id, const std::string& store) {
        on_history(path_, [&] {
            SQLite::Statement s(db_, "INSERT OR IGNORE INTO deliveries (result_id, store) VALUES (?, ?)");
            s.bind(1, result_id);
            s.bind(2, store);
            s.exec();
        });
    }

    int64_t mark_all(const std::string& store) {
        return on_history(path_, [&] {
            SQLite::Statement s(db_, "INSERT OR IGNORE INTO deliveries (result_id, store) SELECT result_id, ? FROM results");
            s.bind(1, store);
            return static_cast<int64_t>(s.exec());
        });
    }

    std::vector<ResultRecord> waiting(const std::string& store) {
        return on_history(path_, [&] {
            std::vector<ResultRecord> out;
            SQLite::Statement s(db_,
                                "SELECT r.id, r.record FROM deliveries d JOIN results r ON r.result_id = d.result_id"
                                " WHERE d.store = ? AND d.delivered_at IS NULL ORDER BY r.started_at, r.id");
            s.bind(1, store);
            while (s.executeStep()) {
                const std::string source = path_.string() + " #" + std::to_string(s.getColumn(0).getInt64());
                const ResultJson j = ResultJson::parse(s.getColumn(1).getString(), nullptr, false);
                if (j.is_discarded()) throw ResultFormatError(source, "", "the stored record is not JSON");
                out.push_back(result_from_json(j, source));
            }
            return out;
        });
    }

    void delivered(const std::string& result_id, const std::string& store) {
        on_history(path_, [&] {
            SQLite::Statement s(db_, "UPDATE deliveries SET delivered_at = ? WHERE result_id = ? AND store = ?");
            s.bind(1, result_utc_now());
            s.bind(2, result_id);
            s.bind(3, store);
            s.exec();
        });
    }

    std::vector<ResultWaiting> counts(const std::string& store) {
        return on_history(path_, [&] {
            std::vector<ResultWaiting> out;
            SQLite::Statement s(db_, "SELECT store, count(*) FROM deliveries WHERE delivered_at IS NULL"
                                     " AND (? = '' OR store = ?) GROUP BY store ORDER BY store");
            s.bind(1, store);
            s.bind(2, store);
            while (s.executeStep()) out.push_back({s.getColumn(0).getString(), s.getColumn(1).getInt64()});
            return out;
        });
    }

private:
    fs::path path_;
    SQLite::Database db_;
};

// Opens the history's bookkeeping, bringing an older history up to date
// first; nullptr when there is no history yet.
std::unique_ptr<Bookkeeping> open_bookkeeping(const fs::path& history) {
    if (!result_history_open_existing(history)) return nullptr;
    return on_history(history, [&] { return std::make_unique<Bookkeeping>(history); });
}

int64_t count_waiting(Bookkeeping& book, const std::string& store) {
    const std::vector<ResultWaiting> counts = book.counts(store);
    return counts.empty() ? 0 : counts.front().results;
}

// Delivers the waiting results of the store through an open connection
// (opened here when null).
void deliver_waiting(Bookkeeping& book, const ResultStoreUrl& url, std::unique_ptr<ResultStore> store,
                     const std::string& skip, ResultDelivery* out) {
    try {
        const std::vector<ResultRecord> waiting = book.waiting(url.display);
        for (const ResultRecord& r : waiting) {
            if (!store) store = result_store_open(url);
            store->add(r);
            book.delivered(r.result_id, url.display);
            if (r.result_id == skip) {
                out->delivered_this = true;
            } else {
                ++out->delivered_earlier;
            }
        }
    } catch (const std::exception& e) {
        out->problem = result_store_scrub(e.what(), url);
    }
}

}  // namespace

ResultDelivery result_deliver(const ResultRecord& record, const fs::path& history, const ResultStoreUrl& url,
                              bool keep_local) {
    ResultDelivery out;
    std::unique_ptr<ResultStore> store;
    if (!keep_local) {
        try {
            store = result_store_open(url);
            store->add(record);
            out.delivered_this = true;
        } catch (const std::exception& e) {
            out.problem = result_store_scrub(e.what(), url);
            store.reset();
        }
    }
    if (!out.delivered_this) {
        out.local_problem = result_history_store(record, history);
        out.kept_locally = out.local_problem.empty();
    }
    try {
        std::unique_ptr<Bookkeeping> book = open_bookkeeping(history);
        if (!book) return out;
        if (out.kept_locally) book->mark(record.result_id, url.display);
        // A store that just failed is not asked again in the same breath.
        if (out.problem.empty()) deliver_waiting(*book, url, std::move(store), record.result_id, &out);
        out.waiting = count_waiting(*book, url.display);
    } catch (const std::exception& e) {
        if (out.local_problem.empty()) out.local_problem = result_store_scrub(e.what(), url);
    }
    // No history to wait in: straight to the store, or lost to both.
    if (!out.kept_locally && !out.delivered_this && out.problem.empty()) {
        try {
            result_store_open(url)->add(record);
            out.delivered_this = true;
        } catch (const std::exception& e) {
            out.problem = result_store_scrub(e.what(), url);
        }
    }
    return out;
}

ResultDelivery result_deliver_waiting(const fs::path& history, const ResultStoreUrl& url) {
    ResultDelivery out;
    try {
        std::unique_ptr<Bookkeeping> book = open_bookkeeping(history);
        if (!book) return out;
        deliver_waiting(*book, url, nullptr, "", &out);
        out.waiting = count_waiting(*book, url.display);
    } catch (const std::exception& e) {
        out.local_problem = result_store_scrub(e.what(), url);
    }
    return out;
}

int64_t result_mark_all_waiting(const fs::path& history, const ResultStoreUrl& url) {
    std::unique_ptr<Bookkeeping> book = open_bookkeeping(history);
    return book ? book->mark_all(url.display) : 0;
}

std::vector<ResultWaiting> result_waiting(const fs::path& history) {
    std::unique_ptr<Bookkeeping> book = open_bookkeeping(history);
    return book ? book->counts("") : std::vector<ResultWaiting>{};
}
