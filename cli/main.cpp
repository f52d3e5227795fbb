// numera-cli: the benchmark for terminals, scripts and servers.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/digits_file.h"
#include "engine/benchmark.h"
#include "engine/hp_number.h"
#include "sysinfo/result_formatter.h"
#include "sysinfo/system_info.h"

#ifndef NUMERA_VERSION
#define NUMERA_VERSION "1.0"
#endif

namespace {

struct Options {
    int runs = pi_benchmark_series_runs;
    bool json = false;
    bool system_info_only = false;
    std::string digits_out;
};

// What the runs hand back beyond their results.
struct RunContext {
    bool keep_digits = false;
    PiDigits last_digits;  // verified digits of the last successful run
    int total_runs = 0;
    bool show_progress = false;
    std::chrono::steady_clock::time_point start;
};

// The radix a run chose, from its digit count (L digits per word).
uint32_t radix_of(const BenchmarkResult& r) {
    uint32_t radix = 1;
    for (int32_t L = r.digits_calculated >> 21; L > 0; --L) radix *= 10;
    return radix == 1 ? 0 : radix;
}

void capture_digits(const HpNumber* pi, int32_t words, uint32_t R, void* context) {
    auto* ctx = static_cast<RunContext*>(context);
    if (ctx->keep_digits) ctx->last_digits.assign(pi, words, R);
}

void run_once(BenchmarkResult* result, const BenchmarkProgress* progress, void* context) {
    auto* ctx = static_cast<RunContext*>(context);
    PiRunHooks hooks{};
    hooks.digits_sink = capture_digits;
    hooks.context = ctx;
    pi_benchmark_run_with(result, progress, &hooks);
}

void show_progress(int32_t iteration, int32_t, void* context, double) {
    auto* ctx = static_cast<RunContext*>(context);
    if (!ctx->show_progress) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - ctx->start).count();
    std::fprintf(stderr, "\riteration %d of %d, %.1f s elapsed ", iteration,
                 ctx->total_runs * pi_benchmark_iterations_per_run, elapsed);
    std::fflush(stderr);
}

// The machine facts as labelled lines, the way the app's card shows them.
std::vector<std::pair<std::string, std::string>> system_lines(const SystemInfo& info) {
    std::vector<std::pair<std::string, std::string>> lines;
    lines.emplace_back("CPU:", ResultFormatter::formatCPU(info));
    lines.emplace_back("Cores:", ResultFormatter::formatCores(info));
    if (std::optional<std::string> frequency = ResultFormatter::formatFrequency(info)) {
        lines.emplace_back("Frequency:", *frequency);
    }
    lines.emplace_back("Memory:", ResultFormatter::formatMemory(info));
    lines.emplace_back("OS:", ResultFormatter::formatOS(info));
    lines.emplace_back("Architecture:", ResultFormatter::formatArchitecture(info));
    return lines;
}

void print_system(const SystemInfo& info) {
    for (const auto& [label, value] : system_lines(info)) {
        std::printf("%-14s%s\n", label.c_str(), value.c_str());
    }
}

nlohmann::json result_json(const BenchmarkResult& r) {
    return {{"success", r.success != 0},
            {"digits_calculated", r.digits_calculated},
            {"elapsed_time", r.elapsed_time},
            {"score", r.score},
            {"error_message", std::string(r.error_message)}};
}

nlohmann::json system_json(const SystemInfo& info) {
    return {{"cpu_model", info.cpu_model},
            {"cpu_cores_physical", info.cpu_cores_physical},
            {"cpu_cores_logical", info.cpu_cores_logical},
            {"cpu_frequency_mhz", info.cpu_frequency_mhz},
            {"cpu_cores_performance", info.cpu_cores_performance},
            {"cpu_cores_efficiency", info.cpu_cores_efficiency},
            {"cpu_frequency_p_max_mhz", info.cpu_frequency_p_max_mhz},
            {"cpu_frequency_e_max_mhz", info.cpu_frequency_e_max_mhz},
            {"total_memory_mb", info.total_memory_mb},
            {"os_name", info.os_name},
            {"os_version", info.os_version},
            {"architecture", info.architecture},
            {"success", info.success != 0},
            {"error_message", info.error_message}};
}

// Replaces bytes that are not valid UTF-8 so the JSON writer accepts any
// text the kernel hands us.
std::string json_dump(const nlohmann::json& j) {
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

int run_benchmark(const Options& options) {
    SystemInfo info{};
    collect_system_info(&info);

    RunContext ctx;
    ctx.keep_digits = !options.digits_out.empty();
    ctx.total_runs = options.runs;
    ctx.show_progress = isatty(STDERR_FILENO) != 0;
    ctx.start = std::chrono::steady_clock::now();

    if (!options.json) {
        print_system(info);
        std::printf("\n");
        std::fflush(stdout);
    }

    std::vector<BenchmarkResult> records(static_cast<size_t>(options.runs));
    PiSeriesOptions series{options.runs, run_once, &ctx, records.data()};
    const BenchmarkResult result = pi_benchmark_series_with(show_progress, &ctx, &series);
    if (ctx.show_progress) std::fprintf(stderr, "\r\033[K");

    if (options.json) {
        nlohmann::json runs = nlohmann::json::array();
        for (size_t i = 0; i < records.size(); ++i) {
            nlohmann::json entry = result_json(records[i]);
            entry["verified"] = records[i].success != 0;
            entry["radix"] = radix_of(records[i]);
            runs.push_back(entry);
        }
        nlohmann::json out = result_json(result);
        out["runs"] = runs;
        out["system"] = system_json(info);
        std::printf("%s\n", json_dump(out).c_str());
    } else {
        for (size_t i = 0; i < records.size(); ++i) {
            const BenchmarkResult& r = records[i];
            if (r.success != 0) {
                std::printf("Run %zu: %s, score %s\n", i + 1, ResultFormatter::formatTime(r).c_str(),
                            ResultFormatter::formatScore(r).c_str());
            } else {
                std::printf("Run %zu: failed: %s\n", i + 1, r.error_message);
            }
        }
        if (result.success != 0) {
            std::printf("\nScore: %s\nTime: %s\nDigits: %d\n", ResultFormatter::formatScore(result).c_str(),
                        ResultFormatter::formatTime(result).c_str(), result.digits_calculated);
        }
    }
    std::fflush(stdout);

    if (result.success == 0) {
        std::fprintf(stderr, "numera-cli: %s\n", result.error_message);
        return 1;
    }
    if (ctx.keep_digits) {
        std::string error;
        if (!write_digits_file(options.digits_out, ctx.last_digits, &error)) {
            std::fprintf(stderr, "numera-cli: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{"Numera: computes pi to 8,388,608 digits on one core and scores this CPU.",
                 "numera-cli"};
    app.set_version_flag("--version", std::string("numera-cli ") + NUMERA_VERSION);
    app.add_option("--runs", options.runs, "Number of runs in the series (default 5)")
        ->check(CLI::Range(1, 100));
    app.add_flag("--json", options.json, "Print one JSON object on stdout");
    app.add_option("--digits-out", options.digits_out,
                   "Write the verified digits of the last successful run to FILE")
        ->type_name("FILE");
    app.add_flag("--system-info", options.system_info_only, "Print the machine facts and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        std::cerr << "numera-cli: " << e.what() << "\n" << app.help();
        return 2;
    }

    if (options.system_info_only) {
        SystemInfo info{};
        collect_system_info(&info);
        if (options.json) {
            std::printf("%s\n", json_dump(nlohmann::json{{"system", system_json(info)}}).c_str());
        } else {
            print_system(info);
        }
        return 0;
    }
    return run_benchmark(options);
}
