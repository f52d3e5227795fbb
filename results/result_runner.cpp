#include "results/result_runner.h"

namespace {

ResultRun run_of(const RunnerRunRecord& r) {
    ResultRun run;
    run.success = r.result.success != 0 && !r.error;
    run.verified = r.details.outcome == PiRunOutcome::verified;
    run.digits_calculated = run.success ? r.result.digits_calculated : 0;
    run.elapsed_time = r.result.elapsed_time;
    run.wall_time = r.wall_seconds;
    run.score = run.success ? r.result.score : 0;
    run.radix = r.details.radix;
    run.error_message = r.error && r.error_message != nullptr ? r.error_message : r.result.error_message;
    return run;
}

ResultWorker worker_of(const RunnerWorkerReport& w, bool with_runs) {
    ResultWorker out;
    out.cpu = w.cpu;
    out.kind = sysinfo_cpu_kind_name(w.kind);
    out.runs_passed = w.runs_passed;
    out.errors = w.errors;
    if (w.has_error) {
        out.first_error_run = w.first_error.run;
        out.first_error_time = w.first_error.start_seconds + w.first_error.wall_seconds;
        out.first_error = w.first_error.error_message != nullptr ? w.first_error.error_message : "";
    }
    if (with_runs) {
        for (const RunnerRunRecord& r : w.runs) out.runs.push_back(run_of(r));
    }
    return out;
}

ResultRecord common(const RunnerReport& report, ResultMode mode, const SystemInfo& info, const PiEnginePath& path,
                    const std::string& started_at) {
    ResultRecord r;
    r.result_id = result_new_id();
    r.mode = mode;
    r.started_at = started_at;
    r.elapsed_time = report.wall_seconds;
    for (const RunnerWorkerReport& w : report.workers) r.workers.push_back(worker_of(w, mode == ResultMode::multi));
    r.version = result_program_version();
    r.engine = result_engine_from(path);
    r.system = result_machine_from(info);
    r.host_name = result_host_name();
    return r;
}

}  // namespace

ResultRecord result_from_multi(const RunnerReport& report, const SystemInfo& info, const PiEnginePath& path,
                               const std::string& started_at) {
    const RunnerMultiResult multi = runner_multi_result(report);
    ResultRecord r = common(report, ResultMode::multi, info, path, started_at);
    r.success = multi.success;
    r.error_message = multi.error_message;
    r.digits_calculated = multi.digits;
    r.score = multi.score;
    r.multi.workers_requested = static_cast<int32_t>(report.cpus_requested.size());
    r.multi.runs_per_worker = report.runs_per_worker;
    r.multi.scaling = multi.scaling;
    return r;
}

ResultRecord result_from_stress(const RunnerReport& report, const SystemInfo& info, const PiEnginePath& path,
                                const std::string& started_at, bool keep_going) {
    ResultRecord r = common(report, ResultMode::stress, info, path, started_at);
    r.success = !report.has_error && !report.workers.empty();
    if (report.has_error) r.error_message = runner_stress_verdict(report);
    // Every verified run of the test made the same digits: 2^21 words of the reference radix.
    int32_t digits_per_word = 0;
    for (uint32_t radix = report.reference_radix; radix > 1; radix /= 10) ++digits_per_word;
    r.digits_calculated = digits_per_word << 21;
    r.stress.duration_requested = report.duration_seconds;
    r.stress.keep_going = keep_going;
    r.stress.ended_by = report.end == RunnerEnd::stopped ? "stop" : report.end == RunnerEnd::first_error ? "error" : "duration";
    // With --keep-going the duration ends a test that had errors.
    if (report.end != RunnerEnd::stopped && report.has_error && !keep_going) r.stress.ended_by = "error";
    return r;
}
