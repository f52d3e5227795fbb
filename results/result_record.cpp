#include "results/result_record.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "results/result_machine_id.h"

#ifndef NUMERA_VERSION
#define NUMERA_VERSION "0"
#endif

namespace {

constexpr const char* mode_names[] = {"single", "multi", "stress"};

// Copies text into a fixed field, truncated and NUL-terminated.
template <size_t N>
void copy_field(char (&field)[N], const std::string& text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// 1312 -> "1,312".
std::string grouped(int64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    const size_t sign = value < 0 ? 1 : 0;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

std::string plural(int64_t count, const char* one, const char* many) {
    return grouped(count) + " " + (count == 1 ? one : many);
}

}  // namespace

const char* result_mode_name(ResultMode mode) {
    const auto i = static_cast<size_t>(mode);
    return i < std::size(mode_names) ? mode_names[i] : "single";
}

bool result_mode_parse(std::string_view name, ResultMode* mode) {
    for (size_t i = 0; i < std::size(mode_names); ++i) {
        if (name == mode_names[i]) {
            *mode = static_cast<ResultMode>(i);
            return true;
        }
    }
    return false;
}

const char* result_program_version() { return NUMERA_VERSION; }

std::string result_new_id() {
    std::random_device device;
    unsigned char b[16];
    for (size_t i = 0; i < 16; i += 4) {
        const uint32_t word = device();
        std::memcpy(b + i, &word, 4);
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string result_utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string result_host_name() {
    // Test seam: another machine's name, to play a fleet on one machine.
    if (const char* name = std::getenv("NUMERA_TEST_HOST_NAME")) return name;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

ResultMachine result_machine_from(const SystemInfo& info) {
    ResultMachine m;
    m.cpu_model = info.cpu_model;
    m.cpu_cores_physical = info.cpu_cores_physical;
    m.cpu_cores_logical = info.cpu_cores_logical;
    m.cpu_frequency_mhz = info.cpu_frequency_mhz;
    m.cpu_cores_performance = info.cpu_cores_performance;
    m.cpu_cores_efficiency = info.cpu_cores_efficiency;
    m.cpu_frequency_p_max_mhz = info.cpu_frequency_p_max_mhz;
    m.cpu_frequency_e_max_mhz = info.cpu_frequency_e_max_mhz;
    m.total_memory_mb = info.total_memory_mb;
    m.os_name = info.os_name;
    m.os_version = info.os_version;
    m.architecture = info.architecture;
    m.success = info.success != 0;
    m.error_message = info.error_message;
    return m;
}

ResultEngine result_engine_from(const PiEnginePath& path) {
    return {path.transform ? path.transform : "", path.word_loops ? path.word_loops : "", path.narrowed};
}

SystemInfo result_machine_to_system_info(const ResultMachine& m) {
    SystemInfo info{};
    copy_field(info.cpu_model, m.cpu_model);
    info.cpu_cores_physical = m.cpu_cores_physical;
    info.cpu_cores_logical = m.cpu_cores_logical;
    info.cpu_frequency_mhz = m.cpu_frequency_mhz;
    info.cpu_cores_performance = m.cpu_cores_performance;
    info.cpu_cores_efficiency = m.cpu_cores_efficiency;
    info.cpu_frequency_p_max_mhz = m.cpu_frequency_p_max_mhz;
    info.cpu_frequency_e_max_mhz = m.cpu_frequency_e_max_mhz;
    info.total_memory_mb = m.total_memory_mb;
    copy_field(info.os_name, m.os_name);
    copy_field(info.os_version, m.os_version);
    copy_field(info.architecture, m.architecture);
    info.success = m.success ? 1 : 0;
    copy_field(info.error_message, m.error_message);
    return info;
}

ResultRecord result_from_series(const BenchmarkResult& series, const BenchmarkResult* runs,
                                const PiRunDetails* details, size_t started, const SystemInfo& info,
                                const PiEnginePath& path, const std::string& started_at) {
    ResultRecord r;
    r.result_id = result_new_id();
    r.mode = ResultMode::single;
    r.started_at = started_at;
    r.success = series.success != 0;
    r.error_message = series.error_message;
    r.digits_calculated = series.digits_calculated;
    r.elapsed_time = series.elapsed_time;
    r.score = series.score;
    for (size_t i = 0; i < started; ++i) {
        ResultRun run;
        run.run = static_cast<int32_t>(i + 1);
        run.success = runs[i].success != 0;
        run.verified = details[i].outcome == PiRunOutcome::verified;
        run.digits_calculated = runs[i].digits_calculated;
        run.elapsed_time = runs[i].elapsed_time;
        run.score = runs[i].score;
        run.radix = details[i].radix;
        run.transform_error = details[i].transform_error;
        run.iterations = details[i].iterations;
        run.error_message = runs[i].error_message;
        r.runs.push_back(std::move(run));
    }
    r.version = result_program_version();
    r.engine = result_engine_from(path);
    r.system = result_machine_from(info);
    r.host_name = result_host_name();
    r.machine_id = result_machine_id();
    return r;
}

std::string result_engine_text(const ResultEngine& engine) {
    std::string text = engine.transform;
    if (engine.transform != engine.word_loops) text += " transform, " + engine.word_loops + " word loops";
    if (engine.narrowed) text += " (narrowed for testing)";
    return text;
}

std::string result_duration_text(double seconds) {
    const auto total = static_cast<int64_t>(seconds > 0 ? seconds : 0);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                      static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(total / 60),
                      static_cast<long long>(total % 60));
    }
    return text;
}

// Worded as runner_stress_verdict words a live test, from the record alone.
std::string result_verdict(const ResultRecord& r) {
    if (r.mode != ResultMode::stress) return r.success ? "Verified" : r.error_message;

    int64_t passed = 0, errors = 0, failing_cpus = 0;
    const ResultWorker* first = nullptr;
    for (const ResultWorker& w : r.workers) {
        passed += w.runs_passed;
        errors += w.errors;
        if (w.errors > 0) {
            ++failing_cpus;
            if (first == nullptr || w.first_error_time < first->first_error_time) first = &w;
        }
    }
    if (first == nullptr) {
        if (!r.success && !r.error_message.empty()) return r.error_message;
        std::string line = "No errors: " + plural(static_cast<int64_t>(r.workers.size()), "CPU", "CPUs") + ", " +
                           result_duration_text(r.elapsed_time) + ", " + plural(passed, "run", "runs");
        if (r.stress.ended_by == "stopped" && r.stress.duration_requested > 0) {
            line += " (stopped before " + result_duration_text(r.stress.duration_requested) + ")";
        }
        return line;
    }
    std::string line = "Error on CPU " + std::to_string(first->cpu) + " after " +
                       result_duration_text(first->first_error_time) + ": " + first->first_error;
    if (errors > 1) line += " (" + plural(errors, "error", "errors") + " on " + plural(failing_cpus, "CPU", "CPUs") + ")";
    return line;
}

bool result_comparable(const ResultRecord& a, const ResultRecord& b, std::vector<std::string>* reasons) {
    std::vector<std::string> found;
    if (a.mode != b.mode) {
        found.push_back(std::string("different mode: ") + result_mode_name(a.mode) + " vs " + result_mode_name(b.mode));
    }
    if (a.version != b.version) found.push_back("different program version: " + a.version + " vs " + b.version);
    if (a.engine.transform != b.engine.transform || a.engine.word_loops != b.engine.word_loops) {
        ResultEngine plain_a = a.engine, plain_b = b.engine;
        plain_a.narrowed = plain_b.narrowed = false;
        found.push_back("different engine path: " + result_engine_text(plain_a) + " vs " +
                        result_engine_text(plain_b));
    }
    const bool comparable = found.empty();
    if (reasons != nullptr) *reasons = std::move(found);
    return comparable;
}
