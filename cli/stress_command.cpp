#include "cli/stress_command.h"

#include <unistd.h>

#include <cstdio>

#include "cli/cli_text.h"
#include "results/result_json.h"
#include "cli/interrupt.h"
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

const char* end_name(RunnerEnd end) {
    switch (end) {
        case RunnerEnd::completed: return "completed";
        case RunnerEnd::duration: return "duration";
        case RunnerEnd::stopped: return "stopped";
        case RunnerEnd::first_error: return "first_error";
    }
    return "";
}

nlohmann::ordered_json error_json(const RunnerRunRecord& r, int32_t cpu) {
    return {{"cpu", cpu},
            {"run", r.run},
            {"time", r.start_seconds + r.wall_seconds},
            {"time_text", runner_format_clock(r.start_seconds + r.wall_seconds)},
            {"message", r.error_message}};
}

void print_json(const RunnerReport& report, const StressCommandOptions& options, const SystemInfo& info,
                const PiEnginePath& path, bool fake) {
    nlohmann::ordered_json cpus = nlohmann::ordered_json::array();
    for (const RunnerWorkerReport& w : report.workers) {
        nlohmann::ordered_json entry = cli_worker_json(w);
        entry["runs_started"] = w.runs_started;
        entry["runs_passed"] = w.runs_passed;
        entry["runs_cancelled"] = w.runs_cancelled;
        entry["errors"] = w.errors;
        entry["first_error"] = w.has_error ? error_json(w.first_error, w.cpu) : nlohmann::ordered_json();
        nlohmann::ordered_json errors = nlohmann::ordered_json::array();
        for (const RunnerRunRecord& r : w.runs) errors.push_back(cli_run_json(r));
        entry["error_runs"] = errors;
        cpus.push_back(entry);
    }
    nlohmann::ordered_json first = nlohmann::ordered_json();
    if (report.has_error) {
        first = error_json(report.first_error,
                           report.workers[static_cast<size_t>(report.first_error_worker)].cpu);
    }
    nlohmann::ordered_json out = {{"success", !report.has_error},
                          {"verdict", runner_stress_verdict(report)},
                          {"ended", end_name(report.end)},
                          {"duration", report.duration_seconds},
                          {"elapsed_time", report.wall_seconds},
                          {"keep_going", options.keep_going},
                          {"runs_passed", runner_runs_passed(report)},
                          {"errors", runner_errors(report)},
                          {"first_error", first},
                          {"reference", {{"radix", report.reference_radix},
                                         {"transform_error", report.reference_transform_error}}},
                          {"memory", cli_memory_json(report)},
                          {"cpus", cpus},
                          {"version", NUMERA_VERSION},
                          {"engine", result_engine_json(result_engine_from(path))},
                          {"system", result_machine_json(result_machine_from(info))}};
    if (fake) out["test_fake_runs"] = true;
    std::printf("%s\n", result_json_dump(out).c_str());
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

    RunnerReport report;
    runner_run(&config, &report);
    erase(live);

    if (options.json) {
        print_json(report, options, info, path, seams.fake_ms > 0);
    } else {
        cli_print_memory_note(report, stdout);
        cli_print_pin_notes(report, stdout);
        print_report(report, live.hybrid);
    }
    std::fflush(stdout);
    if (report.has_error) return 1;
    const bool cut_short = report.end == RunnerEnd::stopped && *duration > 0.0;
    return cut_short ? interrupt_exit_status : 0;
}
