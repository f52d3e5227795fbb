// The JSON form of a result, the one definition that numera-cli prints, the
// history stores and the exports, the comparison and the report read. Its
// JSON Schema is results/schema/numera-result.schema.json; a change of shape
// is a new result_schema_version.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "results/result_record.h"

// Keys keep the order they were written in, so people read schema_version,
// mode and score first.
using ResultJson = nlohmann::ordered_json;

// The schema version this program writes, and the oldest it reads.
inline constexpr int result_schema_version = 1;
inline constexpr int result_schema_version_oldest = 1;

// A result file or document that cannot be read as results. what() is one
// line naming the source and, when there is one, the field:
// "fleet/a.json: field runs[2].score: expected a number, found a string".
class ResultFormatError : public std::runtime_error {
public:
    ResultFormatError(std::string source, std::string field, const std::string& problem);
    const std::string& source() const { return source_; }
    const std::string& field() const { return field_; }  // "" when not about one field

private:
    std::string source_;
    std::string field_;
};

ResultJson result_machine_json(const ResultMachine& machine);
ResultJson result_run_json(const ResultRun& run);
ResultJson result_worker_json(const ResultWorker& worker);
ResultJson result_engine_json(const ResultEngine& engine);

// The record as one JSON object, schema_version first. history_id > 0 adds
// the row number the record has in the history it was listed from.
ResultJson result_to_json(const ResultRecord& record, int64_t history_id = 0);

// A list of results, as `history --json` and `export --json` write it:
// {"schema_version": 1, "results": [...]}. ids, when given, are the history
// rows of the records, side by side.
ResultJson result_list_json(const std::vector<ResultRecord>& records, const std::vector<int64_t>& ids = {});

// Reads one result object; `source` names where it came from in errors.
// Fields the record does not know are ignored; a missing field, a field of
// the wrong type or another schema version throws ResultFormatError.
ResultRecord result_from_json(const ResultJson& j, const std::string& source);

// Parses text holding one result object or a list of results.
std::vector<ResultRecord> result_parse(const std::string& text, const std::string& source);

// Reads a result file (one result, or a list as the exports write it).
// Throws ResultFormatError for a file that cannot be read, is not JSON or is
// not results.
std::vector<ResultRecord> result_read_file(const std::filesystem::path& path);

// Indented JSON; bytes that are not UTF-8 (kernel texts may hold any) are
// replaced instead of failing.
std::string result_json_dump(const ResultJson& j);
