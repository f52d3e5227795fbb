#include "results/result_json.h"

#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

using json = ResultJson;

ResultFormatError::ResultFormatError(std::string source, std::string field, const std::string& problem)
    : std::runtime_error(source + ": " + (field.empty() ? "" : "field " + field + ": ") + problem),
      source_(std::move(source)),
      field_(std::move(field)) {}

json result_run_json(const ResultRun& run) {
    json j = {{"run", run.run},
              {"success", run.success},
              {"digits_calculated", run.digits_calculated},
              {"elapsed_time", run.elapsed_time},
              {"score", run.score},
              {"error_message", run.error_message},
              {"verified", run.verified},
              {"radix", run.radix},
              {"transform_error", run.transform_error},
              {"iterations", run.iterations}};
    if (run.start_time) j["start_time"] = *run.start_time;
    if (run.wall_time) j["wall_time"] = *run.wall_time;
    if (run.processor_time) j["processor_time"] = *run.processor_time;
    return j;
}

static json runs_json(const std::vector<ResultRun>& runs) {
    json out = json::array();
    for (const ResultRun& run : runs) out.push_back(result_run_json(run));
    return out;
}

json result_worker_json(const ResultWorker& w) {
    json j = {{"cpu", w.cpu},
              {"kind", w.kind},
              {"pinned", w.pinned},
              {"pin_error", w.pin_error},
              {"runs_started", w.runs_started},
              {"runs_passed", w.runs_passed},
              {"runs_cancelled", w.runs_cancelled},
              {"errors", w.errors},
              {"score", w.score},
              {"first_error", nullptr},
              {"runs", runs_json(w.runs)}};
    if (w.first_error_run > 0) {
        j["first_error"] = {{"run", w.first_error_run}, {"time", w.first_error_time}, {"message", w.first_error}};
    }
    return j;
}

namespace {

const char* type_name(const json& j) {
    switch (j.type()) {
        case json::value_t::null: return "null";
        case json::value_t::object: return "an object";
        case json::value_t::array: return "an array";
        case json::value_t::string: return "a string";
        case json::value_t::boolean: return "true or false";
        case json::value_t::number_float: return "a fractional number";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned: return "a whole number";
        default: return "something else";
    }
}

// Walks a result document, naming the field of any fault.
class Reader {
public:
    explicit Reader(const std::string& source) : source_(source) {}

    [[noreturn]] void fail(const std::string& field, const std::string& problem) const {
        throw ResultFormatError(source_, field, problem);
    }

    static std::string join(const std::string& path, const char* key) {
        return path.empty() ? key : path + "." + key;
    }

    const json& member(const json& object, const std::string& path, const char* key) const {
        const auto it = object.find(key);
        if (it == object.end()) fail(join(path, key), "missing");
        return *it;
    }

    const json& object(const json& parent, const std::string& path, const char* key) const {
        const json& j = member(parent, path, key);
        if (!j.is_object()) wrong(join(path, key), "an object", j);
        return j;
    }

    const json& array(const json& parent, const std::string& path, const char* key) const {
        const json& j = member(parent, path, key);
        if (!j.is_array()) wrong(join(path, key), "an array", j);
        return j;
    }

    std::string text(const json& parent, const std::string& path, const char* key) const {
        const json& j = member(parent, path, key);
        if (!j.is_string()) wrong(join(path, key), "a string", j);
        return j.get<std::string>();
    }

    bool flag(const json& parent, const std::string& path, const char* key) const {
        const json& j = member(parent, path, key);
        if (!j.is_boolean()) wrong(join(path, key), "true or false", j);
        return j.get<bool>();
    }

    // Every number of a result is a count, a time, a score or an error
    // measure: finite and not negative.
    double number(const json& parent, const std::string& path, const char* key) const {
        const json& j = member(parent, path, key);
        if (!j.is_number()) wrong(join(path, key), "a number", j);
        const double v = j.get<double>();
        if (!std::isfinite(v)) fail(join(path, key), "out of range");
        if (v < 0) fail(join(path, key), "negative");
        return v;
    }

    // A text that must have the form the schema gives it.
    std::string text_like(const json& parent, const std::string& path, const char* key, const char* form,
                          bool (*matches)(const std::string&)) const {
        std::string t = text(parent, path, key);
        if (!matches(t)) fail(join(path, key), "\"" + t + "\" is not " + form);
        return t;
    }

    int64_t whole(const json& parent, const std::string& path, const char* key, int64_t low, int64_t high) const {
        const json& j = member(parent, path, key);
        if (!j.is_number_integer()) wrong(join(path, key), "a whole number", j);
        if (j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(high)) {
            fail(join(path, key), "out of range");
        }
        const int64_t v = j.get<int64_t>();
        if (v < low || v > high) fail(join(path, key), "out of range (" + std::to_string(v) + ")");
        return v;
    }

    int32_t whole32(const json& parent, const std::string& path, const char* key) const {
        return static_cast<int32_t>(whole(parent, path, key, std::numeric_limits<int32_t>::min(),
                                          std::numeric_limits<int32_t>::max()));
    }

    [[noreturn]] void wrong(const std::string& field, const char* expected, const json& found) const {
        fail(field, std::string("expected ") + expected + ", found " + type_name(found));
    }

private:
    const std::string& source_;
};

constexpr int64_t int64_max = std::numeric_limits<int64_t>::max();

// "0123-45-67T89:01:23Z": digits and separators where UTC ISO 8601 has them.
bool is_utc_time(const std::string& t) {
    static constexpr char form[] = "dddd-dd-ddTdd:dd:ddZ";
    if (t.size() != sizeof form - 1) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (form[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(t[i])) : t[i] != form[i]) return false;
    }
    return true;
}

// Lower-case 8-4-4-4-12 hex.
bool is_uuid(const std::string& t) {
    if (t.size() != 36) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? t[i] != '-' : !std::isxdigit(static_cast<unsigned char>(t[i])) || std::isupper(static_cast<unsigned char>(t[i]))) {
            return false;
        }
    }
    return true;
}

bool is_cpu_kind(const std::string& t) { return t == "unknown" || t == "performance" || t == "efficiency"; }

uint32_t read_radix(const Reader& in, const json& j, const std::string& path, const char* key) {
    const auto radix = static_cast<uint32_t>(in.whole(j, path, key, 0, 10000));
    if (radix != 0 && radix != 10 && radix != 100 && radix != 1000 && radix != 10000) {
        in.fail(Reader::join(path, key), std::to_string(radix) + " is not 0, 10, 100, 1000 or 10000");
    }
    return radix;
}

ResultRun read_run(const Reader& in, const json& j, const std::string& path) {
    if (!j.is_object()) in.wrong(path, "an object", j);
    ResultRun run;
    // run, transform_error and iterations came with the runner's records;
    // results stored before them read as 0.
    if (j.contains("run")) run.run = static_cast<int32_t>(in.whole(j, path, "run", 0, std::numeric_limits<int32_t>::max()));
    if (j.contains("transform_error")) run.transform_error = in.number(j, path, "transform_error");
    if (j.contains("iterations")) {
        run.iterations = static_cast<int32_t>(in.whole(j, path, "iterations", 0, std::numeric_limits<int32_t>::max()));
    }
    run.success = in.flag(j, path, "success");
    run.digits_calculated = static_cast<int32_t>(in.whole(j, path, "digits_calculated", 0, std::numeric_limits<int32_t>::max()));
    run.elapsed_time = in.number(j, path, "elapsed_time");
    run.score = in.number(j, path, "score");
    run.error_message = in.text(j, path, "error_message");
    run.verified = in.flag(j, path, "verified");
    run.radix = read_radix(in, j, path, "radix");
    if (j.contains("start_time")) run.start_time = in.number(j, path, "start_time");
    if (j.contains("wall_time")) run.wall_time = in.number(j, path, "wall_time");
    if (j.contains("processor_time")) run.processor_time = in.number(j, path, "processor_time");
    return run;
}

std::vector<ResultRun> read_runs(const Reader& in, const json& parent, const std::string& path) {
    const json& runs = in.array(parent, path, "runs");
    std::vector<ResultRun> out;
    const std::string base = Reader::join(path, "runs");
    for (size_t i = 0; i < runs.size(); ++i) out.push_back(read_run(in, runs[i], base + "[" + std::to_string(i) + "]"));
    return out;
}

ResultWorker read_worker(const Reader& in, const json& j, const std::string& path) {
    if (!j.is_object()) in.wrong(path, "an object", j);
    ResultWorker w;
    w.cpu = static_cast<int32_t>(in.whole(j, path, "cpu", 0, std::numeric_limits<int32_t>::max()));
    w.kind = in.text_like(j, path, "kind", "unknown, performance or efficiency", is_cpu_kind);
    w.pinned = in.flag(j, path, "pinned");
    w.pin_error = in.text(j, path, "pin_error");
    w.runs_started = in.whole(j, path, "runs_started", 0, int64_max);
    w.runs_passed = in.whole(j, path, "runs_passed", 0, int64_max);
    w.runs_cancelled = in.whole(j, path, "runs_cancelled", 0, int64_max);
    w.errors = in.whole(j, path, "errors", 0, int64_max);
    w.score = in.number(j, path, "score");
    const json& first = in.member(j, path, "first_error");
    const std::string first_path = Reader::join(path, "first_error");
    if (!first.is_null()) {
        if (!first.is_object()) in.wrong(first_path, "an object or null", first);
        w.first_error_run = in.whole(first, first_path, "run", 1, int64_max);
        w.first_error_time = in.number(first, first_path, "time");
        w.first_error = in.text(first, first_path, "message");
    } else if (w.errors > 0) {
        in.fail(first_path, "null although errors is " + std::to_string(w.errors));
    }
    w.runs = read_runs(in, j, path);
    return w;
}

ResultMachine read_machine(const Reader& in, const json& parent) {
    const json& s = in.object(parent, "", "system");
    const std::string p = "system";
    ResultMachine m;
    m.cpu_model = in.text(s, p, "cpu_model");
    m.cpu_cores_physical = in.whole32(s, p, "cpu_cores_physical");
    m.cpu_cores_logical = in.whole32(s, p, "cpu_cores_logical");
    m.cpu_frequency_mhz = in.whole32(s, p, "cpu_frequency_mhz");
    m.cpu_cores_performance = in.whole32(s, p, "cpu_cores_performance");
    m.cpu_cores_efficiency = in.whole32(s, p, "cpu_cores_efficiency");
    m.cpu_frequency_p_max_mhz = in.whole32(s, p, "cpu_frequency_p_max_mhz");
    m.cpu_frequency_e_max_mhz = in.whole32(s, p, "cpu_frequency_e_max_mhz");
    m.total_memory_mb = in.whole(s, p, "total_memory_mb", std::numeric_limits<int64_t>::min(), int64_max);
    m.os_name = in.text(s, p, "os_name");
    m.os_version = in.text(s, p, "os_version");
    m.architecture = in.text(s, p, "architecture");
    m.success = in.flag(s, p, "success");
    m.error_message = in.text(s, p, "error_message");
    return m;
}

void check_schema_version(const Reader& in, const json& j, const std::string& path) {
    const auto it = j.find("schema_version");
    if (it == j.end()) {
        in.fail(Reader::join(path, "schema_version"),
                "missing: not a Numera result, or one written before results carried a schema version");
    }
    const int64_t v = in.whole(j, path, "schema_version", std::numeric_limits<int64_t>::min(), int64_max);
    if (v > result_schema_version) {
        in.fail(Reader::join(path, "schema_version"),
                std::to_string(v) + " is newer than this program reads (" + std::to_string(result_schema_version) +
                    "): update Numera");
    }
    if (v < result_schema_version_oldest) {
        in.fail(Reader::join(path, "schema_version"), std::to_string(v) + " is not a schema version of Numera");
    }
}

ResultRecord read_record(const Reader& in, const json& j, const std::string& path) {
    if (!j.is_object()) in.wrong(path, "a result object", j);
    check_schema_version(in, j, path);
    ResultRecord r;
    r.result_id = in.text_like(j, path, "result_id", "a UUID", is_uuid);
    const std::string mode = in.text(j, path, "mode");
    if (!result_mode_parse(mode, &r.mode)) {
        in.fail(Reader::join(path, "mode"), "\"" + mode + "\" is not single, multi or stress");
    }
    r.started_at = in.text_like(j, path, "started_at", "a UTC time such as 2025-06-01T12:34:56Z", is_utc_time);
    r.success = in.flag(j, path, "success");
    r.error_message = in.text(j, path, "error_message");
    r.digits_calculated = static_cast<int32_t>(in.whole(j, path, "digits_calculated", 0, std::numeric_limits<int32_t>::max()));
    r.elapsed_time = in.number(j, path, "elapsed_time");
    r.score = in.number(j, path, "score");
    r.runs = read_runs(in, j, path);
    const json& workers = in.array(j, path, "workers");
    for (size_t i = 0; i < workers.size(); ++i) {
        r.workers.push_back(read_worker(in, workers[i], Reader::join(path, "workers") + "[" + std::to_string(i) + "]"));
    }
    if (r.mode != ResultMode::single) {
        const std::string p = Reader::join(path, "memory");
        const json& m = in.object(j, path, "memory");
        r.memory.available_bytes = in.whole(m, p, "available_bytes", -1, int64_max);
        r.memory.bytes_per_run = in.whole(m, p, "bytes_per_run", 0, int64_max);
        r.memory.limited = in.flag(m, p, "limited");
        const json& cpus = in.array(m, p, "cpus_requested");
        for (size_t i = 0; i < cpus.size(); ++i) {
            const std::string item = Reader::join(p, "cpus_requested") + "[" + std::to_string(i) + "]";
            if (!cpus[i].is_number_integer() || cpus[i].get<int64_t>() < 0 ||
                cpus[i].get<int64_t>() > std::numeric_limits<int32_t>::max()) {
                in.wrong(item, "a CPU number", cpus[i]);
            }
            r.memory.cpus_requested.push_back(cpus[i].get<int32_t>());
        }
    }
    if (r.mode == ResultMode::multi) {
        const std::string p = Reader::join(path, "multi");
        const json& m = in.object(j, path, "multi");
        r.multi.runs_per_worker = static_cast<int32_t>(in.whole(m, p, "runs_per_worker", 0, std::numeric_limits<int32_t>::max()));
        r.multi.best_worker_score = in.number(m, p, "best_worker_score");
        r.multi.scaling = in.number(m, p, "scaling");
    } else if (r.mode == ResultMode::stress) {
        const std::string p = Reader::join(path, "stress");
        const json& s = in.object(j, path, "stress");
        r.stress.duration_requested = in.number(s, p, "duration_requested");
        r.stress.keep_going = in.flag(s, p, "keep_going");
        r.stress.ended_by = in.text(s, p, "ended_by");
        if (r.stress.ended_by != "duration" && r.stress.ended_by != "stopped" && r.stress.ended_by != "first_error") {
            in.fail(Reader::join(p, "ended_by"), "\"" + r.stress.ended_by + "\" is not duration, stopped or first_error");
        }
        const json& ref = in.object(s, p, "reference");
        const std::string rp = Reader::join(p, "reference");
        r.stress.reference_radix = read_radix(in, ref, rp, "radix");
        r.stress.reference_transform_error = in.number(ref, rp, "transform_error");
    }
    r.version = in.text(j, path, "version");
    const json& e = in.object(j, path, "engine");
    const std::string ep = Reader::join(path, "engine");
    r.engine.transform = in.text(e, ep, "transform");
    r.engine.word_loops = in.text(e, ep, "word_loops");
    r.engine.narrowed = in.flag(e, ep, "narrowed");
    r.system = read_machine(in, j);
    r.host_name = in.text(j, path, "host_name");
    if (j.contains("machine_id")) {
        r.machine_id = in.text(j, path, "machine_id");
        if (r.machine_id.empty()) in.fail(Reader::join(path, "machine_id"), "empty");
    }
    if (j.contains("test_fake_runs")) r.test_fake_runs = in.flag(j, path, "test_fake_runs");
    return r;
}

}  // namespace

json result_machine_json(const ResultMachine& m) {
    return {{"cpu_model", m.cpu_model},
            {"cpu_cores_physical", m.cpu_cores_physical},
            {"cpu_cores_logical", m.cpu_cores_logical},
            {"cpu_frequency_mhz", m.cpu_frequency_mhz},
            {"cpu_cores_performance", m.cpu_cores_performance},
            {"cpu_cores_efficiency", m.cpu_cores_efficiency},
            {"cpu_frequency_p_max_mhz", m.cpu_frequency_p_max_mhz},
            {"cpu_frequency_e_max_mhz", m.cpu_frequency_e_max_mhz},
            {"total_memory_mb", m.total_memory_mb},
            {"os_name", m.os_name},
            {"os_version", m.os_version},
            {"architecture", m.architecture},
            {"success", m.success},
            {"error_message", m.error_message}};
}

json result_engine_json(const ResultEngine& e) {
    return {{"transform", e.transform}, {"word_loops", e.word_loops}, {"narrowed", e.narrowed}};
}

json result_to_json(const ResultRecord& r, int64_t history_id) {
    json j = {{"schema_version", result_schema_version},
              {"result_id", r.result_id},
              {"mode", result_mode_name(r.mode)},
              {"started_at", r.started_at},
              {"success", r.success},
              {"digits_calculated", r.digits_calculated},
              {"elapsed_time", r.elapsed_time},
              {"score", r.score},
              {"error_message", r.error_message},
              {"verdict", result_verdict(r)},
              {"runs", runs_json(r.runs)}};
    json workers = json::array();
    for (const ResultWorker& w : r.workers) workers.push_back(result_worker_json(w));
    j["workers"] = std::move(workers);
    if (r.mode != ResultMode::single) {
        j["memory"] = {{"available_bytes", r.memory.available_bytes},
                       {"bytes_per_run", r.memory.bytes_per_run},
                       {"limited", r.memory.limited},
                       {"cpus_requested", r.memory.cpus_requested}};
    }
    if (r.mode == ResultMode::multi) {
        j["multi"] = {{"runs_per_worker", r.multi.runs_per_worker},
                      {"best_worker_score", r.multi.best_worker_score},
                      {"scaling", r.multi.scaling}};
    } else if (r.mode == ResultMode::stress) {
        j["stress"] = {{"duration_requested", r.stress.duration_requested},
                       {"keep_going", r.stress.keep_going},
                       {"ended_by", r.stress.ended_by},
                       {"reference",
                        {{"radix", r.stress.reference_radix}, {"transform_error", r.stress.reference_transform_error}}}};
    }
    j["version"] = r.version;
    j["engine"] = result_engine_json(r.engine);
    j["system"] = result_machine_json(r.system);
    j["host_name"] = r.host_name;
    if (!r.machine_id.empty()) j["machine_id"] = r.machine_id;
    if (r.test_fake_runs) j["test_fake_runs"] = true;
    if (history_id > 0) j["history_id"] = history_id;
    return j;
}

json result_list_json(const std::vector<ResultRecord>& records, const std::vector<int64_t>& ids) {
    json list = json::array();
    for (size_t i = 0; i < records.size(); ++i) list.push_back(result_to_json(records[i], i < ids.size() ? ids[i] : 0));
    return {{"schema_version", result_schema_version}, {"results", std::move(list)}};
}

ResultRecord result_from_json(const json& j, const std::string& source) {
    const Reader in(source);
    return read_record(in, j, "");
}

std::vector<ResultRecord> result_parse(const std::string& text, const std::string& source) {
    const Reader in(source);
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) in.fail("", "empty, not JSON");
    json j;
    try {
        j = json::parse(text);
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        const size_t at = what.find("parse error");
        in.fail("", "not JSON (" + (at == std::string::npos ? what : what.substr(at)) + ")");
    } catch (const json::out_of_range& e) {
        // Valid JSON, but a number no double holds (1e400): refused, not thrown past the caller.
        std::string what = e.what();
        const size_t at = what.find("number overflow");
        in.fail("", "a number out of range (" + (at == std::string::npos ? what : what.substr(at)) + ")");
    }
    if (!j.is_object()) in.wrong("", "a result object or a list of results", j);
    std::vector<ResultRecord> out;
    if (j.contains("results") && !j.contains("mode")) {
        check_schema_version(in, j, "");
        const json& list = in.array(j, "", "results");
        for (size_t i = 0; i < list.size(); ++i) out.push_back(read_record(in, list[i], "results[" + std::to_string(i) + "]"));
    } else {
        out.push_back(read_record(in, j, ""));
    }
    return out;
}

std::vector<ResultRecord> result_read_file(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ResultFormatError(path.string(), "", "is a folder, not a file");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ResultFormatError(path.string(), "", "cannot be read");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw ResultFormatError(path.string(), "", "cannot be read");
    return result_parse(text.str(), path.string());
}

std::string result_json_dump(const json& j) {
    return j.dump(2, ' ', false, json::error_handler_t::replace);
}
