// How long a stop takes: from the moment the flag is set to the moment the
// stopped work has returned, for stops at random moments of a run.
//   engine: one pi_benchmark_run_with on its own thread; latency until the
//           run returns "Cancelled".
//   runner: runner_run of the multi-core benchmark on every usable CPU (one
//           run each); latency until runner_run returns, which adds the
//           supervisor's polling and the workers' joining.
// Prints p50, p99 and max over the samples (goal: p99 < 0.5 s).
// Usage: bench_cancel_latency [engine|runner] [samples] [seed]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine/benchmark.h"
#include "runner/runner.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    // Nearest rank: the smallest value with at least q of the samples at or below it.
    size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(v.size())));
    rank = std::clamp<size_t>(rank, 1, v.size());
    return v[rank - 1];
}

// Runs `work` on a thread, sets `stop` after `delay`, returns the seconds
// from the request to the work's return (negative when it ended first).
template <class Work>
double stop_after(std::atomic<bool>& stop, double delay, Work work) {
    stop.store(false);
    std::atomic<int64_t> returned_at{0};
    std::thread worker([&] {
        work();
        returned_at.store(Clock::now().time_since_epoch().count());
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    const Clock::time_point requested = Clock::now();
    stop.store(true);
    worker.join();
    const Clock::time_point back{Clock::duration(returned_at.load())};
    return seconds_between(requested, back);
}

}  // namespace

int main(int argc, char** argv) {
    const bool use_runner = argc > 1 && std::strcmp(argv[1], "runner") == 0;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 100;
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 20240611u;
    std::atomic<bool> stop{false};

    const std::vector<SysinfoCpu> cpus = runner_default_cpus();
    auto engine_run = [&] {
        BenchmarkResult result{};
        PiRunHooks hooks{};
        hooks.stop = &stop;
        pi_benchmark_run_with(&result, nullptr, &hooks);
        return result;
    };
    auto runner_once = [&] {
        RunnerConfig config = runner_multi_config(cpus, 1);
        config.stop = &stop;
        RunnerReport report;
        runner_run(&config, &report);
        return report;
    };

    // One whole run first: its wall time is the window the stops fall in.
    const Clock::time_point start = Clock::now();
    if (use_runner) {
        runner_once();
    } else {
        engine_run();
    }
    const double window = seconds_between(start, Clock::now());
    std::printf("%s: a whole run takes %.2f s wall; %d stops at uniform random moments in it\n",
                use_runner ? "runner (every usable CPU)" : "engine (one run)", window, samples);

    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> moment(0.0, window);
    std::vector<double> latencies;
    int finished_first = 0;
    for (int i = 0; i < samples; ++i) {
        const double delay = moment(random);
        bool cancelled = false;
        const double latency = use_runner ? stop_after(stop, delay, [&] {
            cancelled = runner_once().end == RunnerEnd::stopped;
        })
                                          : stop_after(stop, delay, [&] {
                                                cancelled = std::strcmp(engine_run().error_message,
                                                                        pi_message_cancelled) == 0;
                                            });
        if (!cancelled) {
            ++finished_first;  // the run ended before the stop: no latency to count
            continue;
        }
        latencies.push_back(latency);
    }
    if (latencies.empty()) {
        std::printf("no stop landed inside a run\n");
        return 1;
    }
    std::printf("samples %zu (%d runs ended before their stop)\n", latencies.size(), finished_first);
    std::printf("latency p50 %.3f s  p99 %.3f s  max %.3f s  (goal p99 < 0.5 s)\n", quantile(latencies, 0.5),
                quantile(latencies, 0.99), quantile(latencies, 1.0));
    return 0;
}
