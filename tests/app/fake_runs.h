// Stand-ins for the engine's runs in the runner windows' tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "runner_window_controller.h"

// Runs that sleep `runMilliseconds` (looking at the stop flag every
// millisecond) and pass, except run `failRun` on CPU `failCpu`, whose digits
// are wrong, as the engine would report them.
struct FakeRuns {
    int runMilliseconds = 5;
    int failCpu = -1;
    int failRun = 0;
    std::atomic<int> started{0};
    std::atomic<int> cancelled{0};

    static void run(const RunnerRunCall* call, BenchmarkResult* result, void* context)
    {
        auto* fake = static_cast<FakeRuns*>(context);
        fake->started.fetch_add(1);
        *result = BenchmarkResult{};
        PiRunDetails& details = *call->hooks->details;
        details = PiRunDetails{};
        details.radix = 10000;
        details.digits_per_word = 4;
        details.transform_error = 0.0625;
        details.iterations = pi_benchmark_iterations_per_run;
        using Clock = std::chrono::steady_clock;
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(fake->runMilliseconds);
        while (Clock::now() < end) {
            if (call->hooks->stop && call->hooks->stop->load()) {
                fake->cancelled.fetch_add(1);
                details.outcome = PiRunOutcome::cancelled;
                std::snprintf(result->error_message, sizeof result->error_message, "%s", pi_message_cancelled);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (call->cpu == fake->failCpu && call->run == fake->failRun) {
            details.outcome = PiRunOutcome::digits_wrong;
            std::snprintf(result->error_message, sizeof result->error_message, "%s", pi_message_digits_wrong);
            return;
        }
        details.outcome = PiRunOutcome::verified;
        result->success = 1;
        result->digits_calculated = 8388608;
        result->elapsed_time = fake->runMilliseconds / 1000.0;
        result->score = 2513;
    }
};

// The fake runs on these CPUs, no memory guard unless asked, ticks every 20 ms.
inline RunnerSetup setupFor(FakeRuns& fake, std::vector<SysinfoCpu> cpus, int64_t availableBytes = -2)
{
    RunnerSetup setup;
    setup.cpus = std::move(cpus);
    setup.run = FakeRuns::run;
    setup.runContext = &fake;
    setup.availableBytes = availableBytes;
    setup.tickSeconds = 0.02;
    return setup;
}

