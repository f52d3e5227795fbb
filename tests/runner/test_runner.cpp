// The runner with fast fake runs: pinning, barrier, clocks, memory guard,
// stop, errors and their attribution, events. The real engine through the
// runner is numera-cli's test (cli_runner_run).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "fake_runs.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Seen = FakeRuns::Seen;

constexpr int32_t digits_10000 = 8388608;

// Rejects the proof of the listed (CPU, run) pairs through the verify hook
// of that one run, as a faulty core would be caught.
struct Rejections {
    std::set<std::pair<int32_t, int32_t>> runs;
};

bool reject(const HpNumber*, uint32_t, void*) { return false; }

void prepare_rejections(const RunnerRunCall* call, PiRunHooks* hooks, void* context) {
    const auto* r = static_cast<const Rejections*>(context);
    if (r->runs.count({call->cpu, call->run}) != 0) {
        hooks->verify = reject;
        hooks->context = nullptr;
    }
}

// The machine's CPUs this process may use, as the runner picks them.
std::vector<SysinfoCpu> usable_cpus() { return runner_default_cpus(); }

RunnerReport run(const RunnerConfig& config) {
    RunnerReport report;
    runner_run(&config, &report);
    return report;
}

RunnerConfig fake_config(RunnerConfig config, FakeRuns* fake) {
    config.run = FakeRuns::run;
    config.run_context = fake;
    config.available_bytes = -2;  // no guard unless a test asks
    return config;
}

// Two workers when the machine has two CPUs or more; the tests need the
// worker index and the CPU number to differ, so the list is reversed.
std::vector<SysinfoCpu> two_reversed() {
    std::vector<SysinfoCpu> cpus = usable_cpus();
    if (cpus.size() > 2) cpus.resize(2);
    std::reverse(cpus.begin(), cpus.end());
    return cpus;
}

// ---------------------------------------------------------------------------

// Every worker runs on its CPU and nowhere else, whatever the list's order;
// a CPU that does not exist is reported unpinned and still runs.
TEST(Runner, PinsEachWorkerToItsCpu) {
    std::vector<SysinfoCpu> cpus = usable_cpus();
    ASSERT_FALSE(cpus.empty());
    std::reverse(cpus.begin(), cpus.end());
    FakeRuns fake;
    RunnerConfig config = fake_config(runner_multi_config(cpus, 3), &fake);
    RunnerReport report = run(config);
    ASSERT_EQ(report.workers.size(), cpus.size());
    EXPECT_EQ(fake.seen.size(), cpus.size() * 3);
    for (const Seen& s : fake.seen) {
        EXPECT_EQ(s.cpu, cpus[static_cast<size_t>(s.worker)].number);
        EXPECT_EQ(s.on_cpu, s.cpu) << "worker " << s.worker << " run " << s.run;
        EXPECT_EQ(s.affinity, std::vector<int>{s.cpu});
    }
    for (const RunnerWorkerReport& w : report.workers) {
        EXPECT_TRUE(w.pinned) << w.cpu << ": " << w.pin_error;
        EXPECT_EQ(w.runs_passed, 3);
    }

    FakeRuns lost;
    RunnerConfig nowhere = fake_config(runner_multi_config({{CPU_SETSIZE - 1, SysinfoCpuKind::unknown}}, 1), &lost);
    report = run(nowhere);
    ASSERT_EQ(report.workers.size(), 1u);
    EXPECT_FALSE(report.workers[0].pinned);
    EXPECT_FALSE(report.workers[0].pin_error.empty());
    EXPECT_EQ(report.workers[0].runs_passed, 1);
    EXPECT_EQ(runner_multi_result(report).success, true);
}

// No worker starts before the last one has pinned itself, and the wall
// time runs from that release to the last worker's end: a worker slow to
// get ready (one second here) does not count, the longest worker does.
TEST(Runner, BarrierAndWallTime) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    FakeRuns fake;
    fake.run_ms = 50;
    fake.run_ms_on[cpus.back().number] = 100;  // the last worker: 2 x 100 ms
    struct Pins {
        std::mutex mutex;
        Clock::time_point last_pinned{};
    } pins;
    RunnerConfig config = fake_config(runner_multi_config(cpus, 2), &fake);
    config.event_context = &pins;
    config.on_event = [](const RunnerEvent* e, void* context) {
        if (e->kind != RunnerEventKind::pinned) return;
        if (e->worker == 0) std::this_thread::sleep_for(std::chrono::seconds(1));
        auto* p = static_cast<Pins*>(context);
        std::lock_guard<std::mutex> lock(p->mutex);
        p->last_pinned = std::max(p->last_pinned, Clock::now());
    };
    const RunnerReport report = run(config);
    for (const Seen& s : fake.seen) EXPECT_GE(s.start, pins.last_pinned) << "worker " << s.worker;

    double last_end = 0.0;
    for (const RunnerWorkerReport& w : report.workers) {
        last_end = std::max(last_end, w.end_seconds);
        ASSERT_EQ(w.runs.size(), 2u);
        for (const RunnerRunRecord& r : w.runs) {
            EXPECT_GE(r.wall_seconds, (w.cpu == cpus.back().number ? 0.1 : 0.05));
            EXPECT_GE(r.start_seconds, 0.0);
            EXPECT_LT(r.processor_seconds, r.wall_seconds) << "sleeping takes no processor time";
        }
        EXPECT_GE(w.runs[1].start_seconds, w.runs[0].start_seconds + w.runs[0].wall_seconds);
    }
    EXPECT_EQ(report.wall_seconds, last_end);
    EXPECT_GE(report.wall_seconds, 0.2);
    EXPECT_LT(report.wall_seconds, 1.0) << "the slow start before the release is not timed";
    EXPECT_EQ(report.end, RunnerEnd::completed);
}

// Processor time is the worker thread's own, not the process's.
TEST(Runner, ProcessorTimeIsTheWorkers) {
    FakeRuns fake;
    fake.spin = true;
    fake.run_ms = 60;
    RunnerConfig config = fake_config(runner_multi_config(two_reversed(), 1), &fake);
    const RunnerReport report = run(config);
    for (const RunnerWorkerReport& w : report.workers) {
        ASSERT_EQ(w.runs.size(), 1u);
        EXPECT_GE(w.runs[0].processor_seconds, 0.06);
        // Two spinning workers add up to 0.12 s or more of process time.
        if (report.workers.size() > 1) {
            EXPECT_LT(w.runs[0].processor_seconds, 0.1);
        }
        EXPECT_LE(w.runs[0].result.elapsed_time, w.runs[0].processor_seconds);
    }
}

// Values worked out by hand: D (log2 D)^2 is 4,437,573,632 for 8,388,608
// digits and 924,844,032 for 2,097,152.
TEST(Runner, MultiScoreFormula) {
    struct Case {
        int32_t workers, runs, digits;
        double seconds, score;
    };
    const Case cases[] = {
        {2, 5, digits_10000, 10.0, 2514.0},   // 2513.30...
        {1, 1, digits_10000, 3.5, 719.0},     // 718.09: one run, as a single run scores
        {16, 5, digits_10000, 50.0, 4022.0},  // 4021.29
        {1, 1, 2097152, 1.0, 524.0},          // 523.8
        {2, 5, digits_10000, 0.0, 0.0},
        {2, 5, digits_10000, -1.0, 0.0},
        {0, 5, digits_10000, 1.0, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runner_multi_score(c.workers, c.runs, c.digits, c.seconds), c.score)
            << c.workers << " x " << c.runs << " in " << c.seconds << " s";
    }
}

// A fake multi-core run scores its measured wall time and scales against
// the fastest worker's one-run score.
TEST(Runner, MultiResultAndScaling) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    FakeRuns fake;
    fake.score = 100.0;
    fake.score_on[cpus.front().number] = 120.0;
    RunnerConfig config = fake_config(runner_multi_config(cpus, 2), &fake);
    const RunnerReport report = run(config);
    const RunnerMultiResult r = runner_multi_result(report);
    ASSERT_TRUE(r.success) << r.error_message;
    const int32_t W = static_cast<int32_t>(cpus.size());
    EXPECT_EQ(r.score, runner_multi_score(W, 2, digits_10000, report.wall_seconds));
    EXPECT_EQ(r.best_worker_score, 120.0);
    EXPECT_DOUBLE_EQ(r.scaling, r.score / (W * 120.0));
}

TEST(Runner, MemoryGuard) {
    constexpr int64_t MiB = int64_t{1} << 20;
    // Margin: 256 MiB and a tenth of what is available.
    EXPECT_EQ(runner_workers_that_fit(24 * 1024 * MiB, runner_run_bytes, 16), 16);
    EXPECT_EQ(runner_workers_that_fit(1024 * MiB, runner_run_bytes, 16), 8);  // 665.6 MiB / 78
    EXPECT_EQ(runner_workers_that_fit(100 * MiB, runner_run_bytes, 16), 1);
    EXPECT_EQ(runner_workers_that_fit(-1, runner_run_bytes, 4), 1);
    EXPECT_EQ(runner_workers_that_fit(1024 * MiB, runner_run_bytes, 0), 0);
    // The nine work areas of a run alone take 75,497,592 bytes.
    EXPECT_GE(runner_run_bytes, 75497592);

    const std::vector<SysinfoCpu> cpus = two_reversed();
    if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
    FakeRuns fake;
    RunnerConfig config = fake_config(runner_multi_config(cpus, 1), &fake);
    config.available_bytes = 450 * MiB;  // 450 - 256 - 45 = 149 MiB: one run
    RunnerReport report = run(config);
    EXPECT_TRUE(report.memory_limited);
    EXPECT_EQ(report.available_bytes, 450 * MiB);
    EXPECT_EQ(report.cpus_requested, (std::vector<int32_t>{cpus[0].number, cpus[1].number}));
    ASSERT_EQ(report.workers.size(), 1u);
    EXPECT_EQ(report.workers[0].cpu, cpus[0].number) << "the first of the list";
    EXPECT_EQ(fake.seen.size(), 1u);

    config.available_bytes = 24 * 1024 * MiB;
    report = run(config);
    EXPECT_FALSE(report.memory_limited);
    EXPECT_EQ(report.workers.size(), 2u);

    // The machine's own MemAvailable by default.
    config.available_bytes = -1;
    report = run(config);
    EXPECT_GT(report.available_bytes, 0);
}

// One stop ends every worker in the middle of its run; nothing counts as
// an error and the multi-core result is "Cancelled".
TEST(Runner, StopEndsEveryWorker) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    FakeRuns fake;
    fake.run_ms = 60000;
    std::atomic<bool> stop{false};
    struct Started {
        std::atomic<bool>* stop;
        std::atomic<int> runs{0};
        int workers;
    } started{&stop, {0}, static_cast<int>(cpus.size())};
    RunnerConfig config = fake_config(runner_multi_config(cpus, 5), &fake);
    config.stop = &stop;
    config.event_context = &started;
    config.on_event = [](const RunnerEvent* e, void* context) {
        auto* s = static_cast<Started*>(context);
        if (e->kind == RunnerEventKind::run_started && ++s->runs == s->workers) s->stop->store(true);
    };
    const Clock::time_point begin = Clock::now();
    RunnerReport report = run(config);
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(30)) << "the minute-long runs were stopped";
    EXPECT_EQ(report.end, RunnerEnd::stopped);
    EXPECT_FALSE(report.has_error);
    for (const RunnerWorkerReport& w : report.workers) {
        EXPECT_EQ(w.runs_started, 1);
        EXPECT_EQ(w.runs_cancelled, 1);
        EXPECT_EQ(w.runs_passed, 0);
        ASSERT_EQ(w.runs.size(), 1u);
        EXPECT_EQ(w.runs[0].details.outcome, PiRunOutcome::cancelled);
        EXPECT_FALSE(w.runs[0].error);
    }
    const RunnerMultiResult r = runner_multi_result(report);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error_message, pi_message_cancelled);
    EXPECT_EQ(r.score, 0.0);

    // Asked before the start: no run starts at all.
    FakeRuns idle;
    RunnerConfig early = fake_config(runner_stress_config(cpus, 0.0, false), &idle);
    early.stop = &stop;
    report = run(early);
    EXPECT_TRUE(idle.seen.empty());
    EXPECT_EQ(report.end, RunnerEnd::stopped);
    EXPECT_EQ(runner_stress_verdict(report), "No errors: " + std::to_string(cpus.size()) +
                                                 (cpus.size() == 1 ? " CPU" : " CPUs") + ", 0:00, 0 runs");
}

// The first error stops the whole test and is put on the right CPU and
// run: worker 1 of the reversed list is CPU cpus[1], not CPU 1.
TEST(Runner, FirstErrorStopsAllAndNamesCpuAndRun) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    const int32_t faulty = cpus.back().number;
    FakeRuns fake;
    fake.run_ms = 20;
    Rejections rejections{{{faulty, 3}}};
    RunnerConfig config = fake_config(runner_stress_config(cpus, 0.0, false), &fake);
    config.prepare_hooks = prepare_rejections;
    config.hooks_context = &rejections;
    RunnerReport report = run(config);

    EXPECT_EQ(report.end, RunnerEnd::first_error);
    ASSERT_TRUE(report.has_error);
    EXPECT_EQ(report.first_error_worker, static_cast<int32_t>(cpus.size()) - 1);
    EXPECT_EQ(report.first_error.run, 3);
    EXPECT_STREQ(report.first_error.error_message, pi_message_digits_wrong);
    const RunnerWorkerReport& bad = report.workers.back();
    EXPECT_EQ(bad.cpu, faulty);
    EXPECT_EQ(bad.runs_passed, 2);
    EXPECT_EQ(bad.errors, 1);
    EXPECT_EQ(bad.runs_started, 3);
    ASSERT_EQ(bad.runs.size(), 1u) << "a stability test keeps only its errors";
    EXPECT_EQ(bad.runs[0].run, 3);
    for (const RunnerWorkerReport& w : report.workers) {
        if (&w == &bad) continue;
        EXPECT_EQ(w.errors, 0);
        EXPECT_LE(w.runs_cancelled, 1);
    }
    const std::string verdict = runner_stress_verdict(report);
    EXPECT_EQ(verdict, "Error on CPU " + std::to_string(faulty) + " after 0:00: Computed digits do not match pi");

    // The same fault in a multi-core run fails the result with its place.
    FakeRuns again;
    RunnerConfig multi = fake_config(runner_multi_config(cpus, 4), &again);
    multi.prepare_hooks = prepare_rejections;
    multi.hooks_context = &rejections;
    report = run(multi);
    const RunnerMultiResult r = runner_multi_result(report);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.score, 0.0);
    EXPECT_EQ(r.error_message,
              "Computed digits do not match pi (CPU " + std::to_string(faulty) + ", run 3 of 4)");
    EXPECT_EQ(report.end, RunnerEnd::completed) << "the other runs still ran";
    EXPECT_EQ(report.workers.back().runs_passed, 3);
}

// --keep-going: errors are counted per CPU and the workers run on.
TEST(Runner, KeepGoingCountsErrorsPerCpu) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    if (cpus.size() < 2) GTEST_SKIP() << "needs two CPUs";
    const int32_t a = cpus[0].number, b = cpus[1].number;
    FakeRuns fake;
    fake.run_ms = 5;
    fake.odd_error.insert({b, 5});  // the radix test measured another E
    Rejections rejections{{{a, 2}, {a, 4}, {b, 3}}};
    RunnerConfig config = fake_config(runner_stress_config(cpus, 0.0, true), &fake);
    config.runs_per_worker = 6;
    config.prepare_hooks = prepare_rejections;
    config.hooks_context = &rejections;
    const RunnerReport report = run(config);

    ASSERT_EQ(report.workers.size(), 2u);
    const RunnerWorkerReport& wa = report.workers[0];
    const RunnerWorkerReport& wb = report.workers[1];
    EXPECT_EQ(wa.runs_passed, 4);
    EXPECT_EQ(wa.errors, 2);
    EXPECT_EQ(wb.runs_passed, 4);
    EXPECT_EQ(wb.errors, 2);
    ASSERT_EQ(wa.runs.size(), 2u);
    EXPECT_EQ(wa.runs[0].run, 2);
    EXPECT_EQ(wa.runs[1].run, 4);
    ASSERT_EQ(wb.runs.size(), 2u);
    EXPECT_EQ(wb.runs[0].run, 3);
    EXPECT_STREQ(wb.runs[1].error_message, runner_message_radix_differs);
    EXPECT_EQ(wb.runs[1].run, 5);
    EXPECT_EQ(report.reference_transform_error, FakeRuns::transform_error);
    EXPECT_EQ(report.reference_radix, 10000u);
    EXPECT_EQ(runner_errors(report), 4);
    EXPECT_EQ(runner_runs_passed(report), 8);
    const std::string verdict = runner_stress_verdict(report);
    EXPECT_EQ(verdict.rfind("Error on CPU ", 0), 0u) << verdict;
    EXPECT_NE(verdict.find(" (4 errors on 2 CPUs)"), std::string::npos) << verdict;
}

// Events: every run starts and finishes once, iterations are forwarded
// with the run's own numbering, ticks carry every worker's counters. The
// test ends when its time is up; a run cut short by the end is neither
// passed nor an error.
TEST(Runner, EventsAndDuration) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    FakeRuns fake;
    fake.run_ms = 20;
    struct Log {
        std::mutex mutex;
        std::map<RunnerEventKind, int> count;
        std::vector<int32_t> iterations;
        std::vector<std::vector<RunnerWorkerStatus>> ticks;
        bool record_on_finish = true;
    } log;
    RunnerConfig config = fake_config(runner_stress_config(cpus, 0.35, false), &fake);
    config.tick_seconds = 0.05;
    config.event_context = &log;
    config.on_event = [](const RunnerEvent* e, void* context) {
        auto* l = static_cast<Log*>(context);
        std::lock_guard<std::mutex> lock(l->mutex);
        l->count[e->kind] += 1;
        if (e->kind == RunnerEventKind::iteration && e->worker == 0 && e->run == 1) l->iterations.push_back(e->iteration);
        if (e->kind == RunnerEventKind::run_finished) {
            l->record_on_finish = l->record_on_finish && e->record != nullptr && e->record->run == e->run;
        }
        if (e->kind == RunnerEventKind::tick) l->ticks.emplace_back(e->statuses, e->statuses + e->status_count);
    };
    const RunnerReport report = run(config);
    EXPECT_EQ(report.end, RunnerEnd::duration);
    EXPECT_GE(report.wall_seconds, 0.35);
    EXPECT_LT(report.wall_seconds, 5.0);
    const int workers = static_cast<int>(cpus.size());
    int started = 0;
    for (const RunnerWorkerReport& w : report.workers) {
        started += w.runs_started;
        EXPECT_GE(w.runs_passed, 1);
        EXPECT_EQ(w.runs_passed + w.runs_cancelled, w.runs_started);
        EXPECT_EQ(w.errors, 0);
    }
    const std::string verdict = runner_stress_verdict(report);
    EXPECT_EQ(verdict.rfind("No errors: ", 0), 0u) << verdict;
    EXPECT_NE(verdict.find(", 0:00, " + runner_format_count(runner_runs_passed(report)) + " run"),
              std::string::npos)
        << verdict;
    EXPECT_EQ(log.count[RunnerEventKind::pinned], workers);
    EXPECT_EQ(log.count[RunnerEventKind::released], 1);
    EXPECT_EQ(log.count[RunnerEventKind::run_started], started);
    EXPECT_EQ(log.count[RunnerEventKind::run_finished], started);
    EXPECT_EQ(log.count[RunnerEventKind::iteration], 3 * started);
    EXPECT_EQ(log.count[RunnerEventKind::worker_finished], workers);
    EXPECT_EQ(log.count[RunnerEventKind::finished], 1);
    EXPECT_TRUE(log.record_on_finish);
    EXPECT_EQ(log.iterations, (std::vector<int32_t>{1, 2, 3}));
    ASSERT_GE(log.ticks.size(), 2u);
    EXPECT_LE(log.ticks.size(), 8u) << "no more often than tick_seconds";
    for (size_t t = 0; t < log.ticks.size(); ++t) {
        ASSERT_EQ(log.ticks[t].size(), cpus.size());
        for (size_t w = 0; w < cpus.size(); ++w) {
            EXPECT_EQ(log.ticks[t][w].cpu, cpus[w].number);
            if (t > 0) {
                EXPECT_GE(log.ticks[t][w].runs_passed, log.ticks[t - 1][w].runs_passed);
            }
        }
    }
}

// A worker whose thread cannot be made leaves the error on its CPU, and the
// runner still returns. The kernel refuses the threads for real: a child
// process, as an ordinary user, is allowed no more tasks than it has.
TEST(Runner, WorkerThreadRefusedByTheSystem) {
    const std::vector<SysinfoCpu> cpus = two_reversed();
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(30);  // a runner waiting for a worker that never came
        rlimit none{1, 1};
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        if (setrlimit(RLIMIT_NPROC, &none) != 0) _exit(3);
        try {
            std::thread([] {}).join();
            _exit(4);  // threads are not limited here
        } catch (const std::system_error&) {
        }
        FakeRuns fake;
        RunnerConfig config = fake_config(runner_multi_config(cpus, 2), &fake);
        const RunnerReport report = run(config);
        std::ostringstream said;
        said << "runs " << fake.seen.size() << ", end " << static_cast<int>(report.end) << ", first "
             << report.first_error_worker << ", " << runner_multi_result(report).error_message;
        for (const RunnerWorkerReport& w : report.workers)
            said << "; CPU " << w.cpu << ": " << w.errors << " error, " << w.runs_passed << " passed, "
                 << (w.has_error ? w.first_error.error_message : "none");
        const std::string text = said.str();
        _exit(write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 5);
    }
    close(out[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the runner hung or crashed (signal " << WTERMSIG(status) << ")";
    if (WEXITSTATUS(status) == 4) GTEST_SKIP() << "the system does not limit this user's threads";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    std::string want = "runs 0, end " + std::to_string(static_cast<int>(RunnerEnd::first_error)) +
                       ", first 0, " + runner_message_no_thread + " (CPU " + std::to_string(cpus[0].number) +
                       ", run 1 of 2)";
    for (const SysinfoCpu& cpu : cpus)
        want += "; CPU " + std::to_string(cpu.number) + ": 1 error, 0 passed, " + runner_message_no_thread;
    EXPECT_EQ(said, want);
}

TEST(Runner, RunErrors) {
    PiRunDetails d{};
    d.outcome = PiRunOutcome::verified;
    d.radix = 10000;
    d.transform_error = FakeRuns::transform_error;
    EXPECT_EQ(runner_run_error(d, 0, 0.0), nullptr) << "no reference yet";
    EXPECT_EQ(runner_run_error(d, 10000, FakeRuns::transform_error), nullptr);
    EXPECT_STREQ(runner_run_error(d, 10000, std::nextafter(FakeRuns::transform_error, 1.0)), runner_message_radix_differs);
    EXPECT_STREQ(runner_run_error(d, 1000, FakeRuns::transform_error), runner_message_radix_differs);
    d.outcome = PiRunOutcome::cancelled;
    EXPECT_EQ(runner_run_error(d, 10000, FakeRuns::transform_error), nullptr) << "a stop is no error";
}

TEST(Runner, TextFormats) {
    const std::pair<double, const char*> clocks[] = {
        {59.99, "0:59"}, {600.0, "10:00"}, {3599.9, "59:59"}, {3600.0, "1:00:00"}, {3723.0, "1:02:03"}, {-5.0, "0:00"}};
    for (const auto& [seconds, text] : clocks) EXPECT_EQ(runner_format_clock(seconds), text) << seconds;
    const std::pair<int64_t, const char*> counts[] = {{999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}, {-1234, "-1,234"}};
    for (const auto& [count, text] : counts) EXPECT_EQ(runner_format_count(count), text) << count;
}

}  // namespace
