#include "cli/stress_command.h"

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

// The live status on a terminal: a heading and one line per CPU, redrawn
// in place at each tick (once a second).
struct LiveStatus {
    std::vector<SysinfoCpu> cpus;
    std::vector<int32_t> numbers;
    bool hybrid = false;
    double duration = 0.0;
    int lines_drawn = 0;
};

void erase(LiveStatus& live) {
    if (live.lines_drawn > 0) std::printf("\033[%dF\033[J", live.lines_drawn);
    live.lines_drawn = 0;
}

void draw(const RunnerEvent* e, void* context) {
    if (e->kind != RunnerEventKind::tick) return;
    auto& live = *static_cast<LiveStatus*>(context);
    const std::vector<double> clocks = sysinfo_cpu_clocks_mhz("/", live.numbers);
    erase(live);
    std::printf("Running %s%s%s (Ctrl-C stops)\n", runner_format_clock(e->seconds).c_str(),
                live.duration > 0.0 ? " of " : "", live.duration > 0.0 ? runner_format_clock(live.duration).c_str() : "");
    for (int32_t w = 0; w < e->status_count; ++w) {
        const RunnerWorkerStatus& s = e->statuses[w];
        std::printf("CPU %3d  ", s.cpu);
        if (live.hybrid) std::printf("%-12s ", sysinfo_cpu_kind_name(live.cpus[static_cast<size_t>(w)].kind));
        std::printf("runs passed %6d  errors %4d", s.runs_passed, s.errors);
        if (clocks[static_cast<size_t>(w)] > 0.0) std::printf("  %5.0f MHz", clocks[static_cast<size_t>(w)]);
        std::printf("%s\n", s.finished ? "  done" : "");
    }
    live.lines_drawn = e->status_count + 1;
    std::fflush(stdout);
}

std::string first_error_text(const RunnerRunRecord& r) {
    return "run " + std::to_string(r.run) + " after " + runner_format_clock(r.start_seconds + r.wall_seconds) +
           ": " + r.error_message;
}

void print_report(const RunnerReport& report, bool hybrid) {
    std::printf("CPU  %sRuns passed  Errors  First error\n", hybrid ? "Kind         " : "");
    for (const RunnerWorkerReport& w : report.workers) {
        std::printf("%3d  ", w.cpu);
        if (hybrid) std::printf("%-13s", sysinfo_cpu_kind_name(w.kind));
        std::printf("%11s  %6s  %s\n", runner_format_count(w.runs_passed).c_str(),
                    runner_format_count(w.errors).c_str(), w.has_error ? first_error_text(w.first_error).c_str() : "-");
    }
    std::printf("\n%s\n", runner_stress_verdict(report).c_str());
}

}  // namespace

int run_stress_command(const StressCommandOptions& options) {
    const std::optional<double> duration = cli_parse_duration(options.duration);
    if (!duration) {
        std::fprintf(stderr,
                     "numera-cli: --duration: '%s' is not a duration such as 90s, 10m, 1h or 0 (until stopped)\n"
                     "Run with --help for more information.\n",
                     options.duration.c_str());
        return 2;
    }
    std::vector<SysinfoCpu> cpus;
    std::string error;
    if (!cli_select_cpus(options.cpus, &cpus, &error)) {
        std::fprintf(stderr, "numera-cli: %s\nRun with --help for more information.\n", error.c_str());
        return 2;
    }
    RunnerConfig config = runner_stress_config(cpus, *duration, options.keep_going);
    CliRunnerSeams seams;
    if (!cli_apply_test_seams(&config, &seams, &error)) {
        std::fprintf(stderr, "numera-cli: %s\n", error.c_str());
        return 2;
    }
    SystemInfo info{};
    collect_system_info(&info);
    const PiEnginePath path = pi_engine_path();
    config.stop = &interrupt_install();

    LiveStatus live;
    live.cpus = cpus;
    for (const SysinfoCpu& cpu : cpus) live.numbers.push_back(cpu.number);
    live.hybrid = sysinfo_cpu_list_is_hybrid(cpus);
    live.duration = *duration;
    if (!options.json) {
        print_machine(info, path);
        std::printf("\nStability test: %zu %s (%s), %s%s\n\n", cpus.size(), cpus.size() == 1 ? "CPU" : "CPUs",
                    cli_format_cpu_list(live.numbers).c_str(),
                    *duration > 0.0 ? runner_format_clock(*duration).c_str() : "until stopped",
                    options.keep_going ? ", keep going after errors" : "");
        std::fflush(stdout);
    }
    // Nothing but the report when stdout is a file or a pipe.
    if (!options.json && isatty(STDOUT_FILENO) != 0) {
        config.on_event = draw;
        config.event_context = &live;
    }

    const std::string started_at = result_utc_now();
    RunnerReport report;
    runner_run(&config, &report);
    erase(live);
    ResultRecord record = result_from_stress(report, info, path, started_at, options.keep_going);
    record.test_fake_runs = seams.fake_ms > 0;

    if (options.json) {
        std::printf("%s\n", result_json_dump(result_to_json(record)).c_str());
    } else {
        cli_print_memory_note(report, stdout);
        cli_print_pin_notes(report, stdout);
        print_report(report, live.hybrid);
    }
    std::fflush(stdout);
    if (!record.test_fake_runs) cli_store_result(record, options.store, options.no_history);
    if (report.has_error) return 1;
    const bool cut_short = report.end == RunnerEnd::stopped && *duration > 0.0;
    return cut_short ? interrupt_exit_status : 0;
}
