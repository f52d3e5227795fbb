// Where results last: one small interface over the local SQLite history (and
// any other back end that keeps the same records), the history references
// people type ("last", "best", "#12"), and storing a finished result without
// ever losing it to a store that fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "results/result_record.h"

// A store that cannot be opened, read or written. what() is one line.
class ResultStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A record as the store holds it: id is its row, the "#12" people type.
struct StoredResult {
    int64_t id = 0;
    ResultRecord record;
};

struct ResultQuery {
    int64_t limit = 0;                // at most this many; 0 all
    std::optional<ResultMode> mode;   // only this mode
    std::string since = {};           // started at or after this "YYYY-MM-DDTHH:MM:SSZ"; "" any time
    std::string host = {};            // host names matching this pattern (* and ?, any case); "" every host
};

// A result named on the command line.
struct ResultReference {
    enum class Kind { file, last, best, id };
    Kind kind = Kind::file;
    std::filesystem::path file;       // Kind::file
    int64_t id = 0;                   // Kind::id
    std::optional<ResultMode> mode;   // last:multi, best:stress...; best alone is best:single
};

// "last", "best", "#12", each of the first two optionally ":single",
// ":multi" or ":stress"; anything else is a file name. False (with a
// one-line *error) for "#" without a row number or an unknown mode.
bool result_reference_parse(std::string_view text, ResultReference* reference, std::string* error);

class ResultStore {
public:
    virtual ~ResultStore() = default;

    // Stores the record and returns its row. A record whose result_id is
    // already stored is not stored again: its existing row is returned.
    virtual int64_t add(const ResultRecord& record) = 0;

    // Newest first (by started_at, then by row).
    virtual std::vector<StoredResult> list(const ResultQuery& query) = 0;

    virtual std::optional<StoredResult> find_id(int64_t id) = 0;
    // The newest result, of the mode when one is given.
    virtual std::optional<StoredResult> find_last(std::optional<ResultMode> mode) = 0;
    // The successful result of the mode with the highest score (the newest
    // of equal scores). Stability tests have no score: their newest
    // successful one.
    virtual std::optional<StoredResult> find_best(ResultMode mode) = 0;

    // Where it is, for messages.
    virtual std::string location() const = 0;
};

// Finds a history reference in the store; an empty answer when there is no
// such result. A file reference is not the store's: it returns nothing.
std::optional<StoredResult> result_store_find(ResultStore& store, const ResultReference& reference);

// $XDG_DATA_HOME/numera/results.sqlite3, or ~/.local/share/numera/ when
// XDG_DATA_HOME is unset or not an absolute path.
std::filesystem::path result_history_default_path();

// Opens the SQLite history at path for reading and writing, creating its
// folder (0700) and the file on first use. Throws ResultStoreError.
std::unique_ptr<ResultStore> result_history_open(const std::filesystem::path& path);

// Opens an existing history for reading; an empty answer (not an error)
// when the file does not exist yet. Throws ResultStoreError when it cannot
// be read (damaged, unreadable, newer than this program).
std::unique_ptr<ResultStore> result_history_open_existing(const std::filesystem::path& path);

// Stores a finished result in the history at path and never throws: the
// result is what matters. Returns "" when it was stored, otherwise one line
// saying what happened, for the front end to show once. A file that is not
// a database or is corrupt is renamed aside with a UTC time stamp
// ("results.sqlite3.damaged-20250601T123456Z"; never deleted) and the result
// goes into a new history; a history that cannot be opened at all (no such
// folder can be made, no permission, written by a newer program) is left as
// it is and the result is not stored.
std::string result_history_store(const ResultRecord& record, const std::filesystem::path& path);
