#include "results/result_runner.h"

#include "results/result_machine_id.h"

namespace {

ResultRun run_of(const RunnerRunRecord& r) {
    ResultRun run;
    run.run = r.run;
    run.success = r.result.success != 0 && !r.error;
    run.verified = r.details.outcome == PiRunOutcome::verified;
    run.digits_calculated = r.result.digits_calculated;
    run.elapsed_time = r.result.elapsed_time;
    run.score = r.result.score;
    run.radix = r.details.radix;
    run.transform_error = r.details.transform_error;
    run.iterations = r.details.iterations;
    run.error_message = r.error && r.error_message != nullptr ? r.error_message : r.result.error_message;
    run.start_time = r.start_seconds;
    run.wall_time = r.wall_seconds;
    run.processor_time = r.processor_seconds;
    return run;
}

ResultWorker worker_of(const RunnerWorkerReport& w) {
    ResultWorker out;
    out.cpu = w.cpu;
    out.kind = sysinfo_cpu_kind_name(w.kind);
    out.pinned = w.pinned;
    out.pin_error = w.pin_error;
    out.runs_started = w.runs_started;
    out.runs_passed = w.runs_passed;
    out.runs_cancelled = w.runs_cancelled;
    out.errors = w.errors;
    out.score = w.mean_score;
    if (w.has_error) {
        out.first_error_run = w.first_error.run;
        out.first_error_time = w.first_error.start_seconds + w.first_error.wall_seconds;
        out.first_error = w.first_error.error_message != nullptr ? w.first_error.error_message : "";
    }
    // The runner keeps every run of a multi-core run and the errors of a
    // stability test.
    for (const RunnerRunRecord& r : w.runs) out.runs.push_back(run_of(r));
    return out;
}

ResultRecord common(const RunnerReport& report, ResultMode mode, const SystemInfo& info, const PiEnginePath& path,
                    const std::string& started_at) {
    ResultRecord r;
    r.result_id = result_new_id();
    r.mode = mode;
    r.started_at = started_at;
    r.elapsed_time = report.wall_seconds;
    for (const RunnerWorkerReport& w : report.workers) r.workers.push_back(worker_of(w));
    r.memory.available_bytes = report.available_bytes;
    r.memory.bytes_per_run = runner_run_bytes;
    r.memory.limited = report.memory_limited;
    r.memory.cpus_requested = report.cpus_requested;
    r.version = result_program_version();
    r.engine = result_engine_from(path);
    r.system = result_machine_from(info);
    r.host_name = result_host_name();
    r.machine_id = result_machine_id();
    return r;
}

const char* end_name(RunnerEnd end) {
    switch (end) {
        case RunnerEnd::stopped: return "stopped";
        case RunnerEnd::first_error: return "first_error";
        case RunnerEnd::completed:
        case RunnerEnd::duration: break;
    }
    return "duration";
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
    r.multi.runs_per_worker = report.runs_per_worker;
    r.multi.best_worker_score = multi.best_worker_score;
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
    r.stress.ended_by = end_name(report.end);
    r.stress.reference_radix = report.reference_radix;
    r.stress.reference_transform_error = report.reference_transform_error;
    return r;
}
