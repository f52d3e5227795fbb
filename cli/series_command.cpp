#include "cli/series_command.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/cli_text.h"
#include "cli/digits_file.h"
#include "cli/interrupt.h"
#include "cli/store_cli.h"
#include "engine/engine_path.h"
#include "engine/hp_number.h"
#include "results/result_json.h"
#include "results/result_store.h"
#include "sysinfo/result_formatter.h"
#include "sysinfo/system_info.h"

namespace {

// What the runs hand back beyond their results.
struct RunContext {
    const std::atomic<bool>* stop = nullptr;
    bool keep_digits = false;
    PiDigits last_digits;  // verified digits of the last successful run
    std::vector<PiRunDetails> details;
    int total_runs = 0;
    int reject_run = 0;    // test seam: this run's proof fails (1-based; 0 none)
    int32_t offset = 0;    // iteration offset of the run in progress
    bool show_progress = false;
    bool verbose = false;
    FILE* verbose_out = stdout;
    std::chrono::steady_clock::time_point start;
};

void capture_digits(const HpNumber* pi, int32_t words, uint32_t R, void* context) {
    auto* ctx = static_cast<RunContext*>(context);
    if (ctx->keep_digits) ctx->last_digits.assign(pi, words, R);
}

bool reject_digits(const HpNumber*, uint32_t, void*) { return false; }

void run_once(BenchmarkResult* result, const BenchmarkProgress* progress, void* context) {
    auto* ctx = static_cast<RunContext*>(context);
    ctx->offset = progress->iteration_offset;
    PiRunHooks hooks{};
    hooks.digits_sink = capture_digits;
    hooks.context = ctx;
    hooks.stop = ctx->stop;
    ctx->details.emplace_back();
    hooks.details = &ctx->details.back();
    if (static_cast<int>(ctx->details.size()) == ctx->reject_run) hooks.verify = reject_digits;
    pi_benchmark_run_with(result, progress, &hooks);
}

void show_progress(int32_t iteration, int32_t precision_digits, void* context, double seconds) {
    auto* ctx = static_cast<RunContext*>(context);
    if (ctx->verbose) {
        std::fprintf(ctx->verbose_out, "run %zu  iteration %2d  %9d digits  %.3f s\n", ctx->details.size(),
                     iteration - ctx->offset, precision_digits, seconds);
        std::fflush(ctx->verbose_out);
    } else if (ctx->show_progress) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - ctx->start).count();
        std::fprintf(stderr, "\riteration %d of %d, %.1f s elapsed ", iteration,
                     ctx->total_runs * pi_benchmark_iterations_per_run, elapsed);
        std::fflush(stderr);
    }
}

void print_text(const BenchmarkResult& result, const std::vector<BenchmarkResult>& records, size_t started) {
    for (size_t i = 0; i < started; ++i) {
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

}  // namespace

int run_series_command(const SeriesCommandOptions& options) {
    if (!options.digits_out.empty()) {
        std::string error;
        if (!check_digits_destination(options.digits_out, &error)) {
            std::fprintf(stderr, "numera-cli: %s\n", error.c_str());
            return 2;
        }
    }
    SystemInfo info{};
    collect_system_info(&info);
    const PiEnginePath path = pi_engine_path();

    RunContext ctx;
    ctx.stop = &interrupt_install();
    ctx.keep_digits = !options.digits_out.empty();
    ctx.total_runs = options.runs;
    ctx.details.reserve(static_cast<size_t>(options.runs));
    ctx.show_progress = isatty(STDERR_FILENO) != 0;
    ctx.verbose = options.verbose;
    ctx.verbose_out = options.json ? stderr : stdout;
    ctx.start = std::chrono::steady_clock::now();
    const std::string started_at = result_utc_now();
    if (const char* reject = std::getenv("NUMERA_TEST_REJECT_RUN")) ctx.reject_run = std::atoi(reject);

    if (!options.json) {
        print_machine(info, path);
        std::printf("\n");
        std::fflush(stdout);
    }

    std::vector<BenchmarkResult> records(static_cast<size_t>(options.runs));
    PiSeriesOptions series{options.runs, run_once, &ctx, records.data(), ctx.stop};
    const BenchmarkResult result = pi_benchmark_series_with(show_progress, &ctx, &series);
    if (ctx.show_progress && !ctx.verbose) std::fprintf(stderr, "\r\033[K");

    const ResultRecord record = result_from_series(result, records.data(), ctx.details.data(), ctx.details.size(),
                                                   info, path, started_at);
    if (options.json) {
        std::printf("%s\n", result_json_dump(result_to_json(record)).c_str());
    } else {
        print_text(result, records, ctx.details.size());
    }
    std::fflush(stdout);

    // Printed first, stored after: a slow or broken history never holds
    // the result back.
    if (!interrupt_requested()) cli_store_result(record, options.store, options.no_history);

    if (result.success == 0) {
        std::fprintf(stderr, "numera-cli: %s\n", result.error_message);
        return interrupt_requested() ? interrupt_exit_status : 1;
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
