// What a report adds up to: the multi-core score and the stability verdict.
#include <cmath>
#include <cstdio>

#include "runner/runner.h"

double runner_multi_score(int32_t workers, int32_t runs_per_worker, int32_t digits, double wall_seconds) {
    if (!(wall_seconds > 0.0) || workers <= 0 || runs_per_worker <= 0 || digits <= 0) return 0.0;
    const double D = digits;
    double q = D * std::log2(D);
    q = q * std::log2(D);
    q = q * (static_cast<double>(workers) * runs_per_worker);
    q = q / wall_seconds;
    q = q / 1765633.002816317;
    q = q * 1000.0;
    q = q / 1000.0;
    return std::ceil(q);
}

RunnerMultiResult runner_multi_result(const RunnerReport& report) {
    RunnerMultiResult result{};
    result.workers = static_cast<int32_t>(report.workers.size());
    result.runs_per_worker = report.runs_per_worker;
    result.wall_seconds = report.wall_seconds;
    for (const RunnerWorkerReport& worker : report.workers) {
        result.best_worker_score = std::max(result.best_worker_score, worker.mean_score);
        for (const RunnerRunRecord& run : worker.runs) {
            if (result.digits == 0 && run.result.success != 0) result.digits = run.result.digits_calculated;
        }
    }
    if (report.has_error) {
        const RunnerRunRecord& e = report.first_error;
        const int32_t cpu = report.workers[static_cast<size_t>(report.first_error_worker)].cpu;
        char text[320];
        std::snprintf(text, sizeof text, "%s (CPU %d, run %d of %d)", e.error_message, cpu, e.run,
                      report.runs_per_worker);
        result.error_message = text;
        return result;
    }
    bool complete = report.end == RunnerEnd::completed && result.workers > 0;
    for (const RunnerWorkerReport& worker : report.workers) {
        complete = complete && worker.runs_passed == report.runs_per_worker;
    }
    if (!complete) {
        result.error_message = pi_message_cancelled;
        return result;
    }
    result.success = true;
    result.score = runner_multi_score(result.workers, result.runs_per_worker, result.digits, result.wall_seconds);
    if (result.best_worker_score > 0.0) {
        result.scaling = result.score / (result.workers * result.best_worker_score);
    }
    return result;
}

int64_t runner_runs_passed(const RunnerReport& report) {
    int64_t total = 0;
    for (const RunnerWorkerReport& worker : report.workers) total += worker.runs_passed;
    return total;
}

int64_t runner_errors(const RunnerReport& report) {
    int64_t total = 0;
    for (const RunnerWorkerReport& worker : report.workers) total += worker.errors;
    return total;
}

std::string runner_format_clock(double seconds) {
    const int64_t whole = seconds > 0.0 ? static_cast<int64_t>(std::floor(seconds)) : 0;
    char text[48];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                      static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                      static_cast<long long>(whole % 60));
    }
    return text;
}

std::string runner_format_count(int64_t count) {
    const bool negative = count < 0;
    const uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
    const std::string digits = std::to_string(magnitude);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    if (negative) text.insert(text.begin(), '-');
    return text;
}

namespace {

std::string counted(int64_t count, const char* one, const char* many) {
    return runner_format_count(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string runner_stress_verdict(const RunnerReport& report) {
    if (report.has_error) {
        const RunnerRunRecord& e = report.first_error;
        const int32_t cpu = report.workers[static_cast<size_t>(report.first_error_worker)].cpu;
        std::string line = "Error on CPU " + std::to_string(cpu) + " after " +
                           runner_format_clock(e.start_seconds + e.wall_seconds) + ": " + e.error_message;
        const int64_t errors = runner_errors(report);
        if (errors > 1) {
            int64_t cpus = 0;
            for (const RunnerWorkerReport& worker : report.workers) cpus += worker.errors > 0 ? 1 : 0;
            line += " (" + counted(errors, "error", "errors") + " on " + counted(cpus, "CPU", "CPUs") + ")";
        }
        return line;
    }
    std::string line = "No errors: " + counted(static_cast<int64_t>(report.workers.size()), "CPU", "CPUs") + ", " +
                       runner_format_clock(report.wall_seconds) + ", " +
                       counted(runner_runs_passed(report), "run", "runs");
    if (report.end == RunnerEnd::stopped && report.duration_seconds > 0.0) {
        line += " (stopped before " + runner_format_clock(report.duration_seconds) + ")";
    }
    return line;
}
