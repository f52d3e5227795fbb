// Choosing a store: the local history, another SQLite file, or a shared
// PostgreSQL database, named as people write it on the command line or in
// NUMERA_STORE. Passwords belong in ~/.pgpass or PGPASSWORD; one written
// into the name anyway still works, but never shows in a message, in the
// local bookkeeping or anywhere else we write.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "results/result_store.h"

struct ResultStoreUrl {
    enum class Kind { history, sqlite, postgresql };
    Kind kind = Kind::history;
    std::filesystem::path path;        // sqlite: the file
    std::string conninfo;              // postgresql: as given, for libpq only
    std::string display;               // for people and for the bookkeeping: never a password
    std::vector<std::string> secrets;  // passwords it holds (as written and decoded), to scrub
};

// "" (the local history), "sqlite:PATH", "postgresql://USER@HOST/DB" (or
// postgres://) or a libpq "key=value ..." string. False with a one-line
// *error, which never repeats the text (it may hold a password).
bool result_store_url_parse(std::string_view text, ResultStoreUrl* url, std::string* error);

// The text with each of the store's passwords replaced by "***", and on one
// line (libpq's messages have several).
std::string result_store_scrub(std::string text, const ResultStoreUrl& url);

// Opens the store to add to it (the history and SQLite files are created,
// PostgreSQL tables created or upgraded when the role may). Throws
// ResultStoreError, scrubbed.
std::unique_ptr<ResultStore> result_store_open(const ResultStoreUrl& url);

// Opens the store to read it; nullptr for a local file that does not exist
// yet. Throws ResultStoreError, scrubbed.
std::unique_ptr<ResultStore> result_store_open_existing(const ResultStoreUrl& url);

// ResultQuery::since from "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]Z" (UTC):
// the full "YYYY-MM-DDTHH:MM:SSZ" that started_at compares with. False for
// anything else.
bool result_since_parse(std::string_view text, std::string* since);

// A host pattern with * (any run) and ? (one character), the rest literal,
// as a LIKE pattern with backslash as its escape character.
std::string result_host_pattern_like(std::string_view pattern);

// Is PostgreSQL built in?
bool result_postgres_available();
