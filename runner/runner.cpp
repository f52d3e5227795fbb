#include "runner/runner.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// What the supervisor may read of a worker while it runs.
struct WorkerLive {
    std::atomic<int32_t> runs_passed{0};
    std::atomic<int32_t> errors{0};
    std::atomic<int32_t> current_run{0};
    std::atomic<bool> finished{false};
};

// The barrier's completion stamps the release once, before any thread
// leaves it, so every reader after the barrier sees the same instant.
struct Release {
    Clock::time_point* at;
    void operator()() noexcept { *at = Clock::now(); }
};

struct Shared {
    const RunnerConfig& config;
    RunnerReport& report;
    RunnerRunFn run;
    std::atomic<bool> halt{false};  // the engine's stop flag for every run
    std::atomic<int32_t> end{-1};   // the first reason to end, as RunnerEnd
    Clock::time_point release{};
    std::barrier<Release> barrier;
    std::unique_ptr<WorkerLive[]> live;

    std::mutex mutex;  // reference, first error, active
    std::condition_variable changed;
    int32_t active = 0;
    bool reference_set = false;

    Shared(const RunnerConfig& c, RunnerReport& r, size_t workers)
        : config(c),
          report(r),
          run(c.run != nullptr ? c.run : runner_engine_run),
          barrier(static_cast<std::ptrdiff_t>(workers) + 1, Release{&release}),
          live(new WorkerLive[workers]) {}

    void end_with(RunnerEnd reason) {
        int32_t none = -1;
        end.compare_exchange_strong(none, static_cast<int32_t>(reason));
        halt.store(true);
    }

    void emit(RunnerEvent event) const {
        if (config.on_event != nullptr) config.on_event(&event, config.event_context);
    }

    double since_release() const { return seconds_between(release, Clock::now()); }
};

RunnerEvent event_of(RunnerEventKind kind, int32_t worker, int32_t cpu, int32_t run, double seconds) {
    RunnerEvent e{};
    e.kind = kind;
    e.worker = worker;
    e.cpu = cpu;
    e.run = run;
    e.seconds = seconds;
    return e;
}

// Pins the calling thread to one CPU; returns an empty text or why not.
std::string pin_to(int32_t cpu) {
    if (cpu < 0) return std::strerror(EINVAL);
    const size_t count = static_cast<size_t>(cpu) + 1;
    cpu_set_t* set = CPU_ALLOC(count);
    if (set == nullptr) return std::strerror(ENOMEM);
    const size_t size = CPU_ALLOC_SIZE(count);
    CPU_ZERO_S(size, set);
    CPU_SET_S(static_cast<size_t>(cpu), size, set);
    const int error = pthread_setaffinity_np(pthread_self(), size, set);
    CPU_FREE(set);
    return error == 0 ? std::string() : std::string(std::strerror(error));
}

struct IterationForward {
    const Shared* shared;
    int32_t worker;
    int32_t cpu;
    int32_t run;
};

void forward_iteration(int32_t iteration, int32_t precision_digits, void* context, double) {
    const auto* f = static_cast<const IterationForward*>(context);
    RunnerEvent e = event_of(RunnerEventKind::iteration, f->worker, f->cpu, f->run, f->shared->since_release());
    e.iteration = iteration;
    e.precision_digits = precision_digits;
    f->shared->emit(e);
}

// Classifies a finished run under the lock: sets the reference from the
// first verified run, decides whether it is an error, remembers the first
// error of the whole test.
void settle(Shared& s, int32_t w, RunnerRunRecord& record) {
    std::lock_guard<std::mutex> lock(s.mutex);
    RunnerReport& report = s.report;
    if (!s.reference_set && record.details.outcome == PiRunOutcome::verified) {
        s.reference_set = true;
        report.reference_radix = record.details.radix;
        report.reference_transform_error = record.details.transform_error;
    }
    record.error_message =
        runner_run_error(record.details, report.reference_radix, report.reference_transform_error);
    record.error = record.error_message != nullptr;
    if (record.error && !report.has_error) {
        report.has_error = true;
        report.first_error_worker = w;
        report.first_error = record;
        if (s.config.stop_on_error) s.end_with(RunnerEnd::first_error);
    }
}

void worker_main(Shared& s, int32_t w) {
    const RunnerConfig& config = s.config;
    RunnerWorkerReport& wr = s.report.workers[static_cast<size_t>(w)];
    WorkerLive& live = s.live[static_cast<size_t>(w)];
    wr.pin_error = pin_to(wr.cpu);
    wr.pinned = wr.pin_error.empty();
    s.emit(event_of(RunnerEventKind::pinned, w, wr.cpu, 0, 0.0));
    s.barrier.arrive_and_wait();

    double score_sum = 0.0;
    for (int32_t run = 1; config.runs_per_worker <= 0 || run <= config.runs_per_worker; ++run) {
        if (s.halt.load()) break;
        live.current_run.store(run);
        wr.runs_started = run;
        s.emit(event_of(RunnerEventKind::run_started, w, wr.cpu, run, s.since_release()));

        RunnerRunRecord record{};
        record.run = run;
        PiRunHooks hooks{};
        IterationForward forward{&s, w, wr.cpu, run};
        const BenchmarkProgress progress{forward_iteration, &forward, 0};
        RunnerRunCall call{w, wr.cpu, run, &hooks, &progress};
        if (config.prepare_hooks != nullptr) config.prepare_hooks(&call, &hooks, config.hooks_context);
        hooks.stop = &s.halt;
        hooks.details = &record.details;

        const Clock::time_point start = Clock::now();
        const double processor_start = pi_benchmark_thread_seconds();
        s.run(&call, &record.result, config.run_context);
        record.processor_seconds = pi_benchmark_thread_seconds() - processor_start;
        const Clock::time_point end = Clock::now();
        record.start_seconds = seconds_between(s.release, start);
        record.wall_seconds = seconds_between(start, end);

        settle(s, w, record);
        const bool cancelled = record.details.outcome == PiRunOutcome::cancelled;
        if (record.error) {
            wr.errors += 1;
            live.errors.store(wr.errors);
            if (!wr.has_error) {
                wr.has_error = true;
                wr.first_error = record;
            }
        } else if (cancelled) {
            wr.runs_cancelled += 1;
        } else {
            wr.runs_passed += 1;
            live.runs_passed.store(wr.runs_passed);
            score_sum += record.result.score;
            wr.best_score = std::max(wr.best_score, record.result.score);
        }
        if (config.keep_runs || record.error) wr.runs.push_back(record);
        live.current_run.store(0);
        RunnerEvent finished = event_of(RunnerEventKind::run_finished, w, wr.cpu, run, s.since_release());
        finished.record = &record;
        s.emit(finished);
        // Without memory this CPU cannot be tested; the others go on.
        if (cancelled || record.details.outcome == PiRunOutcome::allocation_failed) break;
    }
    if (wr.runs_passed > 0) wr.mean_score = std::round(score_sum / wr.runs_passed);
    wr.end_seconds = s.since_release();
    live.finished.store(true);
    s.emit(event_of(RunnerEventKind::worker_finished, w, wr.cpu, 0, wr.end_seconds));
    std::lock_guard<std::mutex> lock(s.mutex);
    s.active -= 1;
    s.changed.notify_all();
}

// A worker that never started: its CPU carries the error.
void record_no_thread(Shared& s, int32_t w) {
    RunnerWorkerReport& wr = s.report.workers[static_cast<size_t>(w)];
    RunnerRunRecord record{};
    record.run = 1;
    record.error = true;
    record.error_message = runner_message_no_thread;
    std::snprintf(record.result.error_message, sizeof record.result.error_message, "%s", runner_message_no_thread);
    wr.errors = 1;
    wr.has_error = true;
    wr.first_error = record;
    wr.runs.push_back(record);
    s.live[static_cast<size_t>(w)].errors.store(1);
    s.live[static_cast<size_t>(w)].finished.store(true);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.report.has_error) {
        s.report.has_error = true;
        s.report.first_error_worker = w;
        s.report.first_error = record;
    }
    s.end_with(RunnerEnd::first_error);
}

std::vector<RunnerWorkerStatus> statuses_of(const Shared& s) {
    std::vector<RunnerWorkerStatus> statuses(s.report.workers.size());
    for (size_t w = 0; w < statuses.size(); ++w) {
        const WorkerLive& live = s.live[w];
        statuses[w] = {s.report.workers[w].cpu, live.runs_passed.load(), live.errors.load(), live.current_run.load(),
                       live.finished.load()};
    }
    return statuses;
}

void supervise(Shared& s) {
    const RunnerConfig& config = s.config;
    const auto poll = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(runner_poll_seconds));
    const double tick = config.tick_seconds > 0.0 ? config.tick_seconds : 1.0;
    double next_tick = tick;
    std::unique_lock<std::mutex> lock(s.mutex);
    while (s.active > 0) {
        s.changed.wait_for(lock, poll);
        if (s.active == 0) break;
        lock.unlock();
        const double now = s.since_release();
        if (config.stop != nullptr && config.stop->load()) s.end_with(RunnerEnd::stopped);
        if (config.duration_seconds > 0.0 && now >= config.duration_seconds) s.end_with(RunnerEnd::duration);
        if (now >= next_tick) {
            next_tick = now + tick;
            const std::vector<RunnerWorkerStatus> statuses = statuses_of(s);
            RunnerEvent e = event_of(RunnerEventKind::tick, -1, -1, 0, now);
            e.statuses = statuses.data();
            e.status_count = static_cast<int32_t>(statuses.size());
            s.emit(e);
        }
        lock.lock();
    }
}

}  // namespace

void runner_engine_run(const RunnerRunCall* call, BenchmarkResult* result, void*) {
    pi_benchmark_run_with(result, call->progress, call->hooks);
}

RunnerConfig runner_multi_config(std::vector<SysinfoCpu> cpus, int32_t runs) {
    RunnerConfig config{};
    config.cpus = std::move(cpus);
    config.runs_per_worker = runs;
    config.keep_runs = true;
    config.available_bytes = -1;
    config.run_bytes = runner_run_bytes;
    config.tick_seconds = 1.0;
    return config;
}

RunnerConfig runner_stress_config(std::vector<SysinfoCpu> cpus, double duration_seconds, bool keep_going) {
    RunnerConfig config = runner_multi_config(std::move(cpus), 0);
    config.duration_seconds = duration_seconds;
    config.stop_on_error = !keep_going;
    config.keep_runs = false;
    return config;
}

std::vector<SysinfoCpu> runner_default_cpus() {
    std::vector<SysinfoCpu> cpus = sysinfo_cpu_list("/");
    if (cpus.empty()) return cpus;
    const size_t count = static_cast<size_t>(cpus.back().number) + 1;
    cpu_set_t* allowed = CPU_ALLOC(count);
    if (allowed == nullptr) return cpus;
    const size_t size = CPU_ALLOC_SIZE(count);
    CPU_ZERO_S(size, allowed);
    // EINVAL here means the mask is wider than our set: then keep them all.
    if (sched_getaffinity(0, size, allowed) == 0) {
        std::vector<SysinfoCpu> usable;
        for (const SysinfoCpu& cpu : cpus) {
            if (CPU_ISSET_S(static_cast<size_t>(cpu.number), size, allowed)) usable.push_back(cpu);
        }
        if (!usable.empty()) cpus = std::move(usable);
    }
    CPU_FREE(allowed);
    return cpus;
}

int32_t runner_workers_that_fit(int64_t available_bytes, int64_t run_bytes, int32_t wanted) {
    if (wanted <= 1) return std::max(wanted, 0);
    if (run_bytes <= 0) return wanted;
    const int64_t usable = available_bytes - runner_memory_margin_bytes - available_bytes / 10;
    const int64_t fit = usable > 0 ? usable / run_bytes : 0;
    return static_cast<int32_t>(std::clamp<int64_t>(fit, 1, wanted));
}

const char* runner_run_error(const PiRunDetails& details, uint32_t reference_radix,
                             double reference_transform_error) {
    switch (details.outcome) {
        case PiRunOutcome::cancelled: return nullptr;
        case PiRunOutcome::allocation_failed: return pi_message_allocation_failed;
        case PiRunOutcome::digits_wrong: return pi_message_digits_wrong;
        case PiRunOutcome::not_converged: return pi_message_not_converged;
        case PiRunOutcome::verified: break;
    }
    // Bit for bit: the same operations on the same inputs give the same E.
    if (reference_radix != 0 &&
        (details.radix != reference_radix || details.transform_error != reference_transform_error)) {
        return runner_message_radix_differs;
    }
    return nullptr;
}

void runner_run(const RunnerConfig* config, RunnerReport* report) {
    *report = RunnerReport{};
    report->first_error_worker = -1;
    report->available_bytes = -1;
    report->runs_per_worker = config->runs_per_worker;
    report->duration_seconds = config->duration_seconds;
    for (const SysinfoCpu& cpu : config->cpus) report->cpus_requested.push_back(cpu.number);

    std::vector<SysinfoCpu> cpus = config->cpus;
    if (config->available_bytes >= -1) {
        const int64_t available =
            config->available_bytes == -1 ? sysinfo_available_memory_bytes().value_or(-1) : config->available_bytes;
        report->available_bytes = available;
        if (available >= 0) {
            const size_t fit = static_cast<size_t>(
                runner_workers_that_fit(available, config->run_bytes, static_cast<int32_t>(cpus.size())));
            if (fit < cpus.size()) {
                cpus.resize(fit);
                report->memory_limited = true;
            }
        }
    }
    report->workers.resize(cpus.size());
    for (size_t w = 0; w < cpus.size(); ++w) {
        report->workers[w] = RunnerWorkerReport{};
        report->workers[w].cpu = cpus[w].number;
        report->workers[w].kind = cpus[w].kind;
    }

    Shared s(*config, *report, cpus.size());
    if (config->stop != nullptr && config->stop->load()) s.end_with(RunnerEnd::stopped);
    std::vector<std::thread> threads;
    threads.reserve(cpus.size());
    for (size_t w = 0; w < cpus.size(); ++w) {
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.active += 1;
        }
        try {
            threads.emplace_back(worker_main, std::ref(s), static_cast<int32_t>(w));
        } catch (const std::system_error&) {
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                s.active -= 1;
            }
            record_no_thread(s, static_cast<int32_t>(w));
            s.barrier.arrive_and_drop();
            threads.emplace_back();
        }
    }
    s.barrier.arrive_and_wait();
    s.emit(event_of(RunnerEventKind::released, -1, -1, 0, 0.0));
    supervise(s);
    for (std::thread& thread : threads) {
        if (thread.joinable()) thread.join();
    }

    for (const RunnerWorkerReport& wr : report->workers) {
        report->wall_seconds = std::max(report->wall_seconds, wr.end_seconds);
    }
    // Workers can also end on their own: all their runs made, or (in a
    // stability test) every one of them out of memory.
    s.end_with(config->runs_per_worker > 0 ? RunnerEnd::completed : RunnerEnd::duration);
    report->end = static_cast<RunnerEnd>(s.end.load());
    s.emit(event_of(RunnerEventKind::finished, -1, -1, 0, report->wall_seconds));
}
