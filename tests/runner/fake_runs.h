// Stand-ins for the engine's runs, for the runner's, the results' and the
// app's tests. A run sleeps its length (or burns that much processor time
// with `spin`), reports three AGM iterations, ends "Cancelled" within a
// millisecond of a stop and asks the verify hook, as the engine does. Runs
// listed in `wrong_digits` fail their proof; those in `odd_error` measure
// another transform error, as a faulty core's radix test would.
#pragma once

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "runner/runner.h"

struct FakeRuns {
    using Clock = std::chrono::steady_clock;
    using Runs = std::set<std::pair<int32_t, int32_t>>;  // (CPU, run)
    static constexpr double transform_error = 1.52587890625e-08;

    // What a run saw of its thread.
    struct Seen {
        int32_t worker, cpu, run;
        int on_cpu;                 // sched_getcpu() inside the run
        std::vector<int> affinity;  // the thread's affinity mask inside the run
        Clock::time_point start;
    };

    int run_ms = 10;
    bool spin = false;
    double score = 2513.0;
    std::map<int32_t, int> run_ms_on;    // by CPU
    std::map<int32_t, double> score_on;  // by CPU
    Runs wrong_digits, odd_error;
    std::atomic<int> started{0}, cancelled{0};
    std::mutex mutex;
    std::vector<Seen> seen;

    static void run(const RunnerRunCall* call, BenchmarkResult* result, void* context)
    {
        auto* fake = static_cast<FakeRuns*>(context);
        const Clock::time_point start = Clock::now();
        fake->started.fetch_add(1);
        {
            std::lock_guard<std::mutex> lock(fake->mutex);
            fake->seen.push_back({call->worker, call->cpu, call->run, sched_getcpu(), affinity(), start});
        }
        *result = BenchmarkResult{};
        PiRunDetails* details = call->hooks->details;
        details->radix = 10000;
        details->digits_per_word = 4;
        details->iterations = 3;
        details->transform_error = fake->odd_error.count({call->cpu, call->run}) ? 2 * transform_error : transform_error;
        const auto ms = fake->run_ms_on.find(call->cpu);
        const std::chrono::duration<double> length =
            std::chrono::milliseconds(ms != fake->run_ms_on.end() ? ms->second : fake->run_ms);
        const double processor_start = pi_benchmark_thread_seconds();
        for (int32_t k = 1; k <= 3; ++k)
            call->progress->callback(call->progress->iteration_offset + k, 4 * k, call->progress->context, 0.0);
        const auto fail = [&](PiRunOutcome outcome, const char* message) {
            details->outcome = outcome;
            std::snprintf(result->error_message, sizeof result->error_message, "%s", message);
        };
        while (fake->spin ? pi_benchmark_thread_seconds() - processor_start < length.count()
                          : Clock::now() - start < length) {
            if (call->hooks->stop->load()) {
                fake->cancelled.fetch_add(1);
                return fail(PiRunOutcome::cancelled, pi_message_cancelled);
            }
            if (!fake->spin) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (fake->wrong_digits.count({call->cpu, call->run}) != 0 ||
            (call->hooks->verify != nullptr && !call->hooks->verify(nullptr, 10000, call->hooks->context)))
            return fail(PiRunOutcome::digits_wrong, pi_message_digits_wrong);
        details->outcome = PiRunOutcome::verified;
        result->success = 1;
        result->digits_calculated = 8388608;
        result->elapsed_time = pi_benchmark_thread_seconds() - processor_start;
        const auto score = fake->score_on.find(call->cpu);
        result->score = score != fake->score_on.end() ? score->second : fake->score;
    }

private:
    static std::vector<int> affinity()
    {
        cpu_set_t set;
        CPU_ZERO(&set);
        std::vector<int> cpus;
        if (pthread_getaffinity_np(pthread_self(), sizeof set, &set) != 0) return cpus;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
        return cpus;
    }
};
