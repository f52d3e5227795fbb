// The run and the series: a full verified computation, the proof check,
// allocation failure and the folding of a series.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/benchmark.h"
#include "engine/hp_number.h"
#include "engine/pi_checksum.h"

namespace {

struct Report {
    int32_t iteration;
    int32_t precision_digits;
    double seconds;
};

void record_report(int32_t iteration, int32_t precision_digits, void* context, double seconds) {
    static_cast<std::vector<Report>*>(context)->push_back({iteration, precision_digits, seconds});
}

// What the full run leaves behind, shared by the tests that inspect it.
struct FullRun {
    BenchmarkResult result{};
    std::vector<Report> reports;
    std::vector<uint8_t> pi;  // copy of the verified number
    int32_t verified_words = 0;
    uint32_t radix = 0;
};

void keep_copy(const HpNumber* pi, int32_t words, uint32_t R, void* context) {
    auto* run = static_cast<FullRun*>(context);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pi);
    run->pi.assign(bytes, bytes + hp_bytes(pi_run_words));
    run->verified_words = words;
    run->radix = R;
}

const FullRun& full_run() {
    static FullRun* run = [] {
        auto* r = new FullRun;
        BenchmarkProgress progress{record_report, &r->reports, 100};
        PiRunHooks hooks{};
        hooks.digits_sink = keep_copy;
        hooks.context = r;
        pi_benchmark_run_with(&r->result, &progress, &hooks);
        return r;
    }();
    return *run;
}

// Radix 10000, 8,388,608 digits, 19 reports numbered from the offset, the
// result proven and handed to the sink.
TEST(PiRun, ComputesProvesAndReportsPi) {
    const FullRun& run = full_run();
    const BenchmarkResult& r = run.result;
    ASSERT_EQ(r.success, 1) << r.error_message;
    EXPECT_STREQ(r.error_message, "");
    EXPECT_EQ(r.digits_calculated, 8388608);
    EXPECT_EQ(run.radix, 10000u);
    EXPECT_GT(r.elapsed_time, 0.0);
    // D (log2 D)^2 = 8388608 * 23^2.
    EXPECT_EQ(r.score, std::ceil(4437573632.0 / r.elapsed_time / 1765633.002816317));

    ASSERT_EQ(run.pi.size(), hp_bytes(pi_run_words));
    const auto* pi = reinterpret_cast<const HpNumber*>(run.pi.data());
    EXPECT_EQ(pi->sign, 1);
    EXPECT_EQ(pi->exponent, 0);
    EXPECT_EQ(pi->words[0], 3);
    EXPECT_EQ(pi->words[1], 1415);
    EXPECT_EQ(run.verified_words, pi_run_words - pi_unverified_words);

    ASSERT_EQ(run.reports.size(), 19u);
    for (size_t k = 0; k < run.reports.size(); ++k) {
        const Report& rep = run.reports[k];
        EXPECT_EQ(rep.iteration, 100 + static_cast<int32_t>(k) + 1);
        EXPECT_EQ(rep.precision_digits % 16, 0) << "iteration " << rep.iteration;
        EXPECT_GT(rep.precision_digits, k == 0 ? 0 : run.reports[k - 1].precision_digits);
        EXPECT_GE(rep.seconds, 0.0);
    }
    // The last iteration is the one whose precision passed a quarter of n.
    EXPECT_GT(run.reports.back().precision_digits, 4 * 4 * 524288);
}

// The proof must catch one wrong digit anywhere in the checked words, and
// ignore the unverifiable tail.
TEST(PiRun, CheckRejectsOneWrongDigit) {
    const FullRun& run = full_run();
    ASSERT_FALSE(run.pi.empty());
    std::vector<uint8_t> copy = run.pi;
    auto* pi = reinterpret_cast<HpNumber*>(copy.data());
    ASSERT_TRUE(pi_verify(pi, 10000));

    const int32_t last_checked = run.verified_words - 1;
    for (int32_t index : {1, pi_run_words / 2, last_checked}) {
        const int16_t saved = pi->words[index];
        // Change the lowest decimal digit of the word by one.
        pi->words[index] = static_cast<int16_t>(saved % 10 == 9 ? saved - 1 : saved + 1);
        EXPECT_FALSE(pi_verify(pi, 10000)) << "word " << index;
        pi->words[index] = saved;
    }
    pi->words[pi_run_words - 1] = static_cast<int16_t>((pi->words[pi_run_words - 1] + 1) % 10000);
    EXPECT_TRUE(pi_verify(pi, 10000)) << "the unverifiable tail must not count";

    EXPECT_FALSE(pi_verify(pi, 1000)) << "words of another radix";
    pi->exponent = 1;
    EXPECT_FALSE(pi_verify(pi, 10000)) << "exponent 1";
    pi->exponent = 0;
    pi->sign = -1;
    EXPECT_FALSE(pi_verify(pi, 10000)) << "-pi";
}

bool reject(const HpNumber*, uint32_t, void*) { return false; }

// A rejected result is a failure with no score; a run without a progress
// record reports nothing and still completes.
TEST(PiRun, RejectedDigitsFailTheRun) {
    BenchmarkResult r;
    std::memset(&r, 0x5a, sizeof r);
    PiRunHooks hooks{};
    hooks.verify = reject;
    pi_benchmark_run_with(&r, nullptr, &hooks);
    EXPECT_EQ(r.success, 0);
    EXPECT_EQ(r.score, 0.0);
    EXPECT_STREQ(r.error_message, "Computed digits do not match pi");
}

// An allocator that fails at a chosen call and checks that every block it
// handed out comes back exactly once.
struct CountingAllocator {
    static inline int fail_at = 0;
    static inline int calls = 0;
    static inline std::vector<void*> live;
    static inline int double_frees = 0;

    static void* allocate(size_t bytes) {
        if (++calls == fail_at) return nullptr;
        void* p = std::malloc(bytes);
        live.push_back(p);
        return p;
    }
    static void release(void* p) {
        const auto it = std::find(live.begin(), live.end(), p);
        if (it == live.end()) return void(++double_frees);
        live.erase(it);
        std::free(p);
    }
};

TEST(PiRunFailure, AllocationFailureAtEachOfTheNineAreas) {
    std::vector<Report> reports;
    BenchmarkProgress progress{record_report, &reports, 0};
    pi_benchmark_run(nullptr, &progress);
    EXPECT_TRUE(reports.empty()) << "a null result does nothing";
    for (int fail_at = 1; fail_at <= 9; ++fail_at) {
        CountingAllocator::fail_at = fail_at;
        CountingAllocator::calls = 0;
        CountingAllocator::double_frees = 0;
        PiRunHooks hooks{};
        hooks.allocate = CountingAllocator::allocate;
        hooks.release = CountingAllocator::release;
        BenchmarkResult r;
        std::memset(&r, 0x5a, sizeof r);
        pi_benchmark_run_with(&r, &progress, &hooks);

        SCOPED_TRACE("failing allocation " + std::to_string(fail_at));
        EXPECT_EQ(CountingAllocator::calls, fail_at) << "no allocation after the failed one";
        EXPECT_TRUE(CountingAllocator::live.empty()) << "leaked blocks";
        EXPECT_EQ(CountingAllocator::double_frees, 0);
        EXPECT_TRUE(reports.empty());
        EXPECT_EQ(r.success, 0);
        EXPECT_EQ(r.digits_calculated, 0);
        EXPECT_EQ(r.elapsed_time, 0.0);
        EXPECT_EQ(r.score, 0.0);
        EXPECT_STREQ(r.error_message, "Memory allocation failed");
    }
}

// Time is the calling thread's: a busy neighbour thread must not count.
TEST(PiRunClock, TimeIsTheCallingThreadsProcessorTime) {
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        volatile double x = 1.0;
        while (!stop.load()) x = x * 1.0000001;
    });
    const double before = pi_benchmark_thread_seconds();
    const auto wall_start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double slept = pi_benchmark_thread_seconds() - before;
    stop = true;
    busy.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    EXPECT_GE(slept, 0.0);
    EXPECT_LT(slept, 0.5 * wall) << "a sleeping thread used processor time";
}

// ---- The series, with a substituted run: run i fails when scores[i] is 0,
// else it reports 19 iterations and succeeds with that score, 1000 (i + 1)
// digits and 1.5 + i seconds.

struct Script {
    std::vector<double> scores;
    std::vector<int32_t> offsets;  // seen by each run
};

void scripted_run(BenchmarkResult* result, const BenchmarkProgress* progress, void* context) {
    auto* script = static_cast<Script*>(context);
    const size_t i = script->offsets.size();
    script->offsets.push_back(progress->iteration_offset);
    if (script->scores[i] == 0) {
        std::snprintf(result->error_message, sizeof result->error_message, "Memory allocation failed");
        return;
    }
    for (int32_t k = 1; k <= 19; ++k) progress->callback(progress->iteration_offset + k, 16 * k, progress->context, 0.0);
    *result = BenchmarkResult{1, 1000 * static_cast<int32_t>(i + 1), 1.5 + static_cast<double>(i), script->scores[i], ""};
}

BenchmarkResult run_series(Script& script, std::vector<Report>& reports, BenchmarkResult* records = nullptr) {
    PiSeriesOptions options{static_cast<int32_t>(script.scores.size()), scripted_run, &script, records};
    return pi_benchmark_series_with(record_report, &reports, &options);
}

struct SeriesCase {
    std::vector<double> scores;
    std::vector<int32_t> offsets;
    size_t reports;
    BenchmarkResult folded;
};

TEST(PiSeries, FoldsTheRuns) {
    const SeriesCase cases[] = {
        // A failed run keeps the numbering; the time sums the successes.
        {{100, 0, 100, 100, 100}, {0, 19, 19, 38, 57}, 76, {1, 1000, 1.5 + 3.5 + 4.5 + 5.5, 100, ""}},
        // The rounded mean (100.5 rounds away from zero); digits from the
        // first success, so a successful series never reports 0 digits.
        {{0, 100, 101}, {0, 0, 19}, 38, {1, 2000, 2.5 + 3.5, 101, ""}},
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, 0, {0, 0, 0.0, 0.0, "All 5 benchmark runs failed"}},
    };
    for (const SeriesCase& c : cases) {
        Script script{c.scores, {}};
        std::vector<Report> reports;
        std::vector<BenchmarkResult> records(c.scores.size());
        const BenchmarkResult r = run_series(script, reports, records.data());
        SCOPED_TRACE(::testing::Message() << c.scores.size() << " runs, " << c.folded.error_message);
        EXPECT_EQ(script.offsets, c.offsets);
        ASSERT_EQ(reports.size(), c.reports);
        for (size_t k = 0; k < reports.size(); ++k) EXPECT_EQ(reports[k].iteration, static_cast<int32_t>(k) + 1);
        EXPECT_EQ(r.success, c.folded.success);
        EXPECT_EQ(r.digits_calculated, c.folded.digits_calculated);
        EXPECT_DOUBLE_EQ(r.elapsed_time, c.folded.elapsed_time);
        EXPECT_EQ(r.score, c.folded.score);
        EXPECT_STREQ(r.error_message, c.folded.error_message);
        EXPECT_STREQ(records[c.scores[0] == 0 ? 0 : 1].error_message, "Memory allocation failed");
    }
}

}  // namespace
