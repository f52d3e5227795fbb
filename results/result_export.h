// Results for other programs: CSV by RFC 4180 (a header row, every field
// that holds a comma, a quote or a line break quoted, CRLF line ends), and
// files written whole or not at all.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "results/result_store.h"

// The header row's names, in column order.
std::vector<std::string> result_csv_columns();

// One field as RFC 4180 wants it: quoted (with inner quotes doubled) when it
// holds a comma, a quote, a CR or an LF.
std::string result_csv_field(const std::string& text);

// Header and one row per result; row ids go in the "id" column (0 leaves it
// empty, for results that come from files).
std::string result_csv(const std::vector<StoredResult>& results);

// Writes text to path through a temporary file in the same folder, synced
// and renamed into place: readers see the old file or the whole new one.
// Throws std::runtime_error with one line naming the file.
void result_write_file(const std::filesystem::path& path, const std::string& text);
