#include "cli/multi_command.h"

#include <unistd.h>

#include <cstdio>

#include "cli/cli_text.h"
#include "cli/interrupt.h"
#include "cli/store_cli.h"
#include "results/result_json.h"
#include "results/result_runner.h"
#include "results/result_store.h"
#include "cli/runner_cli.h"
#include "engine/engine_path.h"
#include "runner/runner.h"
#include "sysinfo/system_info.h"

namespace {

// "runs finished 3 of 10, 12 s" on a terminal's stderr, once a second.
struct Progress {
    int64_t total;
};

void show_progress(const RunnerEvent* e, void* context) {
    if (e->kind != RunnerEventKind::tick) return;
    const auto* p = static_cast<const Progress*>(context);
    int64_t finished = 0;
    for (int32_t w = 0; w < e->status_count; ++w) finished += e->statuses[w].runs_passed + e->statuses[w].errors;
    std::fprintf(stderr, "\rruns finished %lld of %lld, %.0f s elapsed ", static_cast<long long>(finished),
                 static_cast<long long>(p->total), e->seconds);
    std::fflush(stderr);
}

struct WorkerSums {
    double wall = 0.0;
    double processor = 0.0;
};

WorkerSums sums_of(const RunnerWorkerReport& w) {
    WorkerSums s;
    for (const RunnerRunRecord& r : w.runs) {
        s.wall += r.wall_seconds;
        s.processor += r.processor_seconds;
    }
    return s;
}

void print_table(const RunnerReport& report, bool hybrid) {
    bool any_failure = false;
    for (const RunnerWorkerReport& w : report.workers) any_failure = any_failure || w.has_error;
    std::printf("CPU  %s%-5s %13s %13s %7s%s\n", hybrid ? "Kind         " : "", "Runs", "Wall", "Processor", "Score",
                any_failure ? "  First failure" : "");
    for (const RunnerWorkerReport& w : report.workers) {
        const WorkerSums s = sums_of(w);
        char runs[32], score[32];
        std::snprintf(runs, sizeof runs, "%d/%d", w.runs_passed, report.runs_per_worker);
        if (w.runs_passed > 0) {
            std::snprintf(score, sizeof score, "%.0f", w.mean_score);
        } else {
            std::snprintf(score, sizeof score, "--");
        }
        std::printf("%3d  ", w.cpu);
        if (hybrid) std::printf("%-13s", sysinfo_cpu_kind_name(w.kind));
        std::printf("%-5s %9.3f sec %9.3f sec %7s", runs, s.wall, s.processor, score);
        if (w.has_error) std::printf("  run %d: %s", w.first_error.run, w.first_error.error_message);
        std::printf("\n");
    }
}

}  // namespace

int run_multi_command(const MultiCommandOptions& options) {
    std::vector<SysinfoCpu> cpus;
    std::string error;
    if (!cli_select_cpus(options.cpus, &cpus, &error)) {
        std::fprintf(stderr, "numera-cli: %s\nRun with --help for more information.\n", error.c_str());
        return 2;
    }
    RunnerConfig config = runner_multi_config(cpus, options.runs);
    CliRunnerSeams seams;
    if (!cli_apply_test_seams(&config, &seams, &error)) {
        std::fprintf(stderr, "numera-cli: %s\n", error.c_str());
        return 2;
    }
    SystemInfo info{};
    collect_system_info(&info);
    const PiEnginePath path = pi_engine_path();
    config.stop = &interrupt_install();

    std::vector<int32_t> numbers;
    for (const SysinfoCpu& cpu : cpus) numbers.push_back(cpu.number);
    if (!options.json) {
        print_machine(info, path);
        std::printf("\nMulti-core: %zu %s (%s), %d %s each\n\n", cpus.size(), cpus.size() == 1 ? "CPU" : "CPUs",
                    cli_format_cpu_list(numbers).c_str(), options.runs, options.runs == 1 ? "run" : "runs");
        std::fflush(stdout);
    }
    Progress progress{static_cast<int64_t>(cpus.size()) * options.runs};
    const bool show = isatty(STDERR_FILENO) != 0;
    if (show) {
        config.on_event = show_progress;
        config.event_context = &progress;
    }

    const std::string started_at = result_utc_now();
    RunnerReport report;
    runner_run(&config, &report);
    if (show) std::fprintf(stderr, "\r\033[K");
    const RunnerMultiResult result = runner_multi_result(report);
    ResultRecord record = result_from_multi(report, info, path, started_at);
    record.test_fake_runs = seams.fake_ms > 0;

    if (options.json) {
        std::printf("%s\n", result_json_dump(result_to_json(record)).c_str());
    } else {
        cli_print_memory_note(report, stdout);
        cli_print_pin_notes(report, stdout);
        print_table(report, sysinfo_cpu_list_is_hybrid(cpus));
        if (result.success) {
            std::printf("\nScore: %.0f\nTime: %.3f sec (wall, %d %s x %d %s)\nScaling: %.2f (%.0f / (%d x %.0f))\n"
                        "Digits: %d\n",
                        result.score, result.wall_seconds, result.workers, result.workers == 1 ? "CPU" : "CPUs",
                        result.runs_per_worker, result.runs_per_worker == 1 ? "run" : "runs", result.scaling,
                        result.score, result.workers, result.best_worker_score, result.digits);
        }
    }
    std::fflush(stdout);
    const bool stopped = report.end == RunnerEnd::stopped && !report.has_error;
    if (!stopped && !record.test_fake_runs) cli_store_result(record, options.store, options.no_history);
    if (!result.success) {
        std::fprintf(stderr, "numera-cli: %s\n", result.error_message.c_str());
        return stopped ? interrupt_exit_status : 1;
    }
    return 0;
}
