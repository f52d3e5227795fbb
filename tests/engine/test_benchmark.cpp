// The run and the series: a full verified computation, the proof check,
// allocation failure and the folding of a series.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "engine/benchmark.h"
#include "engine/hp_number.h"
#include "engine/pi_checksum.h"
#include "engine/run_pages.h"

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
    PiRunDetails details;
    std::memset(&details, 0x5a, sizeof details);
    PiRunHooks hooks{};
    hooks.verify = reject;
    hooks.details = &details;
    pi_benchmark_run_with(&r, nullptr, &hooks);
    EXPECT_EQ(r.success, 0);
    EXPECT_EQ(r.score, 0.0);
    EXPECT_EQ(r.digits_calculated, 0) << "no digit count that passes for a result";
    EXPECT_STREQ(r.error_message, "Computed digits do not match pi");
    EXPECT_EQ(details.outcome, PiRunOutcome::digits_wrong);
    EXPECT_EQ(details.radix, 10000u) << "the radix the run worked in";
    EXPECT_EQ(details.iterations, 19);
}

// A core that damages every AGM product: the loop never converges, and the
// run must give up at its cap with a clear message instead of hanging.
void damage_product(HpNumber* product, int32_t, void*) { product->words[1] = static_cast<int16_t>((product->words[1] + 1) % 10000); }

TEST(PiRun, FaultyArithmeticFailsInBoundedTime) {
    std::vector<Report> reports;
    BenchmarkProgress progress{record_report, &reports, 0};
    PiRunDetails details{};
    PiRunHooks hooks{};
    hooks.agm_fault = damage_product;
    hooks.details = &details;
    BenchmarkResult r;
    pi_benchmark_run_with(&r, &progress, &hooks);
    EXPECT_EQ(r.success, 0);
    EXPECT_STREQ(r.error_message, "The computation did not converge");
    EXPECT_EQ(details.outcome, PiRunOutcome::not_converged);
    EXPECT_EQ(details.iterations, pi_benchmark_max_iterations);
    EXPECT_EQ(reports.size(), static_cast<size_t>(pi_benchmark_max_iterations));
}

// A stop asked for during the loop ends the run at the next check.
TEST(PiRun, StopEndsTheRunAtTheNextCheck) {
    struct Stopper {
        std::atomic<bool> stop{false};
        int reports = 0;
    } stopper;
    BenchmarkProgress progress{[](int32_t, int32_t, void* c, double) {
                                   auto* s = static_cast<Stopper*>(c);
                                   if (++s->reports == 3) s->stop = true;
                               },
                               &stopper, 0};
    PiRunDetails details{};
    PiRunHooks hooks{};
    hooks.stop = &stopper.stop;
    hooks.details = &details;
    BenchmarkResult r;
    pi_benchmark_run_with(&r, &progress, &hooks);
    EXPECT_EQ(r.success, 0);
    EXPECT_STREQ(r.error_message, "Cancelled");
    EXPECT_EQ(details.outcome, PiRunOutcome::cancelled);
    EXPECT_EQ(stopper.reports, 3) << "no iteration after the stop";

    // Asked before the run starts computing: no report at all.
    stopper.reports = 0;
    pi_benchmark_run_with(&r, &progress, &hooks);
    EXPECT_STREQ(r.error_message, "Cancelled");
    EXPECT_EQ(stopper.reports, 0);
}

// Every radix the radix test may choose computes digits that prove right,
// with the same eight unproven words at the end.
TEST(PiRunRadix, ForcedRadixRunsProve) {
    for (const uint32_t R : {1000u, 100u, 10u}) {
        std::vector<Report> reports;
        BenchmarkProgress progress{record_report, &reports, 0};
        PiRunDetails details{};
        PiRunHooks hooks{};
        hooks.force_radix = R;
        hooks.details = &details;
        BenchmarkResult r;
        pi_benchmark_run_with(&r, &progress, &hooks);
        SCOPED_TRACE(::testing::Message() << "R=" << R);
        EXPECT_EQ(r.success, 1) << r.error_message;
        EXPECT_EQ(details.radix, R);
        int32_t L = 0;
        for (uint32_t x = R; x > 1; x /= 10) ++L;
        EXPECT_EQ(r.digits_calculated, L << 21);
        EXPECT_EQ(details.iterations, static_cast<int32_t>(reports.size()));
        EXPECT_LE(details.iterations, pi_benchmark_iterations_per_run);
        std::printf("[ measured ] R=%u: %d iterations, %.2f s\n", R, details.iterations, r.elapsed_time);
    }
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

// The flags line of the mapping that holds address p in /proc/self/smaps.
std::string mapping_flags(const void* p) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(p);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2) {
            inside = at >= lo && at < hi;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return {};
}

std::string transparent_huge_pages() {
    std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string s;
    std::getline(f, s);
    return s;
}

// Work areas come zeroed, aligned for the transform's loads, writable to
// their last byte and apart from each other, at the sizes of a run's areas
// and around the page and huge-page boundaries.
TEST(PiRunPages, BlocksAreZeroedAlignedAndSeparate) {
    const size_t sizes[] = {1, 4096 - 64, 4096, (size_t{2} << 20) - 64, size_t{2} << 20,
                            (size_t{2} << 20) + 1, sizeof(double) * ((1u << 21) + 2) + 64};
    std::vector<unsigned char*> blocks;
    for (size_t bytes : sizes) {
        auto* p = static_cast<unsigned char*>(pi_pages_allocate(bytes));
        ASSERT_NE(p, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u) << bytes;
        EXPECT_TRUE(std::all_of(p, p + bytes, [](unsigned char c) { return c == 0; })) << bytes;
        std::memset(p, 0xa5, bytes);
        blocks.push_back(p);
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        const unsigned char* p = blocks[i];
        EXPECT_TRUE(std::all_of(p, p + sizes[i], [](unsigned char c) { return c == 0xa5; }))
            << "block of " << sizes[i] << " bytes was overwritten by another";
    }
    for (unsigned char* p : blocks) pi_pages_release(p);
    pi_pages_release(nullptr);
    EXPECT_EQ(pi_pages_allocate(SIZE_MAX - 16), nullptr);
}

#if defined(__linux__)
// Whether advice given here reaches the kernel's view of the mapping: not
// when huge pages are switched off, nor under a user-mode emulator, which
// takes madvise without passing it on.
bool advice_shows_in_smaps() {
    const std::string thp = transparent_huge_pages();
    if (thp.empty() || thp.find("[never]") != std::string::npos) return false;
    const size_t length = size_t{4} << 20;
    void* probe = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (probe == MAP_FAILED) return false;
    const bool shown = madvise(probe, length, MADV_HUGEPAGE) == 0 && mapping_flags(probe).find(" hg") != std::string::npos;
    munmap(probe, length);
    return shown;
}

// A large area asks for huge pages (VmFlags "hg"); a small one does not.
TEST(PiRunPages, LargeBlocksAskForHugePages) {
    if (!advice_shows_in_smaps()) GTEST_SKIP() << "huge-page advice does not reach the kernel here";
    void* large = pi_pages_allocate(size_t{16} << 20);
    void* small = pi_pages_allocate(100000);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    const std::string large_flags = mapping_flags(large), small_flags = mapping_flags(small);
    EXPECT_NE(large_flags.find(" hg"), std::string::npos) << large_flags;
    EXPECT_EQ(small_flags.find(" hg"), std::string::npos) << small_flags;
    pi_pages_release(large);
    pi_pages_release(small);
}
#endif

// Time is the calling thread's: a busy neighbour thread must not count.
// The error scan's segments against one serial chain of carries: random
// near-integer values, and runs of nines that carry from the top position
// through every segment boundary, at lengths with and without a tail.
TEST(PiRunErrorScan, MatchesOneSerialChain) {
    auto serial = [](int32_t N, const double* T1) {
        int64_t u = 0, v = 0;
        double err = 0.0;
        for (int32_t j = N + 1; j >= 2; --j) {
            const double value = T1[j] * 0x1p-20 + static_cast<double>(u);
            double q = (value + 0.5) * 0.010000000000000002;
            const int64_t v2 = static_cast<int64_t>(q) - 1;
            q = (q - static_cast<double>(v2)) * 10.0;
            const int64_t w = static_cast<int64_t>(q);
            q = (q - static_cast<double>(w)) * 10.0;
            err = std::fmax(err, std::fabs((q - 0.5) - std::trunc(q)));
            u = v + w;
            v = v2;
        }
        return err;
    };
    uint64_t seed = 20261207;
    std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
    auto next = [&seed] { return (seed = seed * 6364136223846793005ull + 1442695040888963407ull) >> 33; };
    for (const int32_t N : {256, 4096, 4100, 1 << 16}) {
        std::vector<double> T(N + 2);
        for (const double top : {0.0, 10.0, 1000.0}) {
            for (const double fill : {-1.0, 9.0, 90.0, 99.0}) {
                for (int32_t j = 0; j < N + 2; ++j) {
                    const double noise = static_cast<double>(next() % 2001) / 1e7 - 1e-4;
                    T[j] = ((fill < 0 ? static_cast<double>(next() % 26000000) : fill) + noise) * 0x1p20;
                }
                if (top > 0) T[N + 1] = top * 0x1p20;
                EXPECT_EQ(pi_transform_error_scan(N, T.data()), serial(N, T.data()))
                    << "N " << N << " top " << top << " fill " << fill;
            }
        }
    }
}

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

// ---- The series, with a substituted run that plays a script: for run i,
// a positive score succeeds after 19 reports with that score, 1000 (i + 1)
// digits and 1.5 + i seconds; otherwise the run fails with messages[i]
// after reports[i] reports (a faulty run may report past 19).

struct Script {
    std::vector<double> scores;
    std::vector<const char*> messages;  // for failed runs
    std::vector<int32_t> reports;       // of failed runs; default 0
    std::atomic<bool>* stop = nullptr;  // set by the run named in stop_at
    size_t stop_at = 0;                 // 1-based; 0 never
    std::vector<int32_t> offsets;       // seen by each run
};

void scripted_run(BenchmarkResult* result, const BenchmarkProgress* progress, void* context) {
    auto* script = static_cast<Script*>(context);
    const size_t i = script->offsets.size();
    script->offsets.push_back(progress->iteration_offset);
    const bool fails = script->scores[i] == 0;
    const int32_t count = fails ? (i < script->reports.size() ? script->reports[i] : 0) : 19;
    for (int32_t k = 1; k <= count; ++k) progress->callback(progress->iteration_offset + k, 16 * k, progress->context, 0.0);
    if (script->stop != nullptr && i + 1 == script->stop_at) {
        *script->stop = true;
        std::snprintf(result->error_message, sizeof result->error_message, "Cancelled");
    } else if (fails) {
        std::snprintf(result->error_message, sizeof result->error_message, "%s", script->messages[i]);
    } else {
        *result = BenchmarkResult{1, 1000 * static_cast<int32_t>(i + 1), 1.5 + static_cast<double>(i), script->scores[i], ""};
    }
}

BenchmarkResult run_series(Script& script, std::vector<Report>& reports, BenchmarkResult* records = nullptr) {
    PiSeriesOptions options{static_cast<int32_t>(script.scores.size()), scripted_run, &script, records,
                            script.stop};
    return pi_benchmark_series_with(record_report, &reports, &options);
}

const char* const mem = "Memory allocation failed";
const char* const wrong = "Computed digits do not match pi";
const char* const stuck = "The computation did not converge";

struct SeriesCase {
    const char* what;
    std::vector<double> scores;
    std::vector<const char*> messages;
    std::vector<int32_t> failed_reports;
    std::vector<int32_t> offsets;
    BenchmarkResult folded;
};

TEST(PiSeries, FoldsTheRuns) {
    const SeriesCase cases[] = {
        {"a run without memory is left out; numbering moves on past it",
         {100, 0, 100, 100, 100}, {"", mem, "", "", ""}, {}, {0, 19, 38, 57, 76},
         {1, 1000, 1.5 + 3.5 + 4.5 + 5.5, 100, ""}},
        {"the rounded mean (100.5 away from zero); digits from the first success",
         {0, 100, 101}, {mem, "", ""}, {}, {0, 19, 38}, {1, 2000, 2.5 + 3.5, 101, ""}},
        {"every run without memory", {0, 0, 0, 0, 0}, {mem, mem, mem, mem, mem}, {}, {0, 19, 38, 57, 76},
         {0, 0, 0.0, 0.0, "All 5 benchmark runs failed"}},
        {"wrong digits in one run fail the series, naming the first such run",
         {100, 100, 0, 100, 0}, {"", "", wrong, "", stuck}, {0, 0, 19, 0, 0}, {0, 19, 38, 57, 76},
         {0, 0, 0.0, 0.0, "Computed digits do not match pi (run 3 of 5)"}},
        {"a run that reported past 19 before its cap pushes the next one on",
         {0, 100}, {stuck, ""}, {32, 0}, {0, 32}, {0, 0, 0.0, 0.0, "The computation did not converge (run 1 of 2)"}},
    };
    for (const SeriesCase& c : cases) {
        Script script{c.scores, c.messages, c.failed_reports, nullptr, 0, {}};
        std::vector<Report> reports;
        std::vector<BenchmarkResult> records(c.scores.size());
        const BenchmarkResult r = run_series(script, reports, records.data());
        SCOPED_TRACE(c.what);
        EXPECT_EQ(script.offsets, c.offsets) << "every run is made, each from its own offset";
        for (size_t k = 1; k < reports.size(); ++k) {
            EXPECT_GT(reports[k].iteration, reports[k - 1].iteration) << "progress went backwards";
        }
        EXPECT_EQ(r.success, c.folded.success);
        EXPECT_EQ(r.digits_calculated, c.folded.digits_calculated);
        EXPECT_DOUBLE_EQ(r.elapsed_time, c.folded.elapsed_time);
        EXPECT_EQ(r.score, c.folded.score);
        EXPECT_STREQ(r.error_message, c.folded.error_message);
        for (size_t i = 0; i < c.scores.size(); ++i) {
            if (c.scores[i] == 0) {
                EXPECT_STREQ(records[i].error_message, c.messages[i]) << "run " << i + 1;
            }
        }
    }
}

// A stop ends the series after the run that saw it; later runs never start.
TEST(PiSeries, StopEndsTheSeries) {
    std::atomic<bool> stop{false};
    Script script{{100, 100, 100, 100, 100}, {}, {}, &stop, 2, {}};
    std::vector<Report> reports;
    std::vector<BenchmarkResult> records(5);
    const BenchmarkResult r = run_series(script, reports, records.data());
    EXPECT_EQ(script.offsets.size(), 2u);
    EXPECT_EQ(r.success, 0);
    EXPECT_EQ(r.score, 0.0);
    EXPECT_STREQ(r.error_message, "Cancelled");
    EXPECT_EQ(records[0].success, 1);
    EXPECT_STREQ(records[1].error_message, "Cancelled");
    EXPECT_EQ(records[2].success, 0);
    EXPECT_STREQ(records[2].error_message, "") << "never started";

    // Already set: no run starts at all.
    script.offsets.clear();
    const BenchmarkResult none = run_series(script, reports, records.data());
    EXPECT_TRUE(script.offsets.empty());
    EXPECT_STREQ(none.error_message, "Cancelled");
}

}  // namespace
