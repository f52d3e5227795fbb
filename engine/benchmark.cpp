#include "engine/benchmark.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/engine_isa.h"
#include "engine/fft_pointwise.h"
#include "engine/hp_newton.h"
#include "engine/hp_number.h"
#include "engine/hp_product.h"
#include "engine/pi_checksum.h"
#include "engine/run_pages.h"
#include "fft/fft.h"

namespace {

constexpr int32_t run_words = pi_run_words;       // n
constexpr int32_t run_fft = run_words - 2;        // N = 2^21
constexpr int32_t half_words = run_fft / 2 + 1;   // h, the leading half of a number
constexpr int32_t agm_precision_limit = 524288;   // loop until q exceeds n / 4

void set_message(BenchmarkResult* result, const char* text) {
    std::snprintf(result->error_message, sizeof result->error_message, "%s", text);
}

constexpr size_t cache_line = 64;

// The nine work areas of a run, obtained and released together.
struct RunStorage {
    HpNumber* a = nullptr;
    HpNumber* b = nullptr;
    HpNumber* c = nullptr;
    HpNumber* e = nullptr;
    HpNumber* t1 = nullptr;
    HpNumber* t2 = nullptr;
    double* T1 = nullptr;
    double* T2 = nullptr;
    double* T3 = nullptr;
    void* buffer_blocks[3] = {nullptr, nullptr, nullptr};

    void* (*allocate)(size_t);
    void (*release)(void*);

    RunStorage(void* (*alloc_fn)(size_t), void (*release_fn)(void*))
        : allocate(alloc_fn), release(release_fn) {}

    bool obtain() {
        HpNumber** numbers[] = {&a, &b, &c, &e, &t1, &t2};
        for (HpNumber** x : numbers) {
            *x = static_cast<HpNumber*>(allocate(hp_bytes(run_words)));
            if (*x == nullptr) return false;
            hp_set_zero(run_words, *x);
        }
        double** buffers[] = {&T1, &T2, &T3};
        for (int i = 0; i < 3; ++i) {
            buffer_blocks[i] = allocate(sizeof(double) * (run_fft + 2) + cache_line);
            if (buffer_blocks[i] == nullptr) return false;
            *buffers[i] = transform_aligned(buffer_blocks[i]);
        }
        return true;
    }

    // A product buffer inside block whose transform array (element 1)
    // starts on a cache line, so no vector load of the transform straddles
    // two lines.
    static double* transform_aligned(void* block) {
        const uintptr_t first = reinterpret_cast<uintptr_t>(block) + sizeof(double);
        const uintptr_t aligned = (first + cache_line - 1) & ~uintptr_t{cache_line - 1};
        return reinterpret_cast<double*>(aligned) - 1;
    }

    ~RunStorage() {
        void* blocks[] = {a, b, c, e, t1, t2, buffer_blocks[0], buffer_blocks[1], buffer_blocks[2]};
        for (void* block : blocks) {
            if (block != nullptr) release(block);
        }
    }
};

// The carries of the error scan from one position to the next.
struct ScanState {
    int64_t u = 0, v = 0;
    bool operator==(const ScanState& o) const { return u == o.u && v == o.v; }
};

// One position of the error scan: splits the scaled value plus the carry
// into decimal digits and returns the larger of err and its second digit's
// distance from an integer (a NaN distance leaves err, as fmax does).
ENGINE_INLINE double scan_step(double t, ScanState& s, double err) {
    const double value = t * 9.5367431640625e-07 + static_cast<double>(s.u);
    double q = (value + 0.5) * 0.010000000000000002;
    const int64_t v2 = static_cast<int64_t>(q) - 1;
    q = (q - static_cast<double>(v2)) * 10.0;
    const int64_t w = static_cast<int64_t>(q);
    q = (q - static_cast<double>(w)) * 10.0;
    const double d = std::fabs((q - 0.5) - std::trunc(q));
    s.u = s.v + w;
    s.v = v2;
    return d > err ? d : err;
}

ENGINE_INLINE double scan(const double* T1, int32_t hi, int32_t lo, ScanState& s, double err) {
    for (int32_t j = hi; j >= lo; --j) err = scan_step(T1[j], s, err);
    return err;
}

// The scan of positions N + 1 down to 2 as eight segments side by side, the
// carry chain being the whole cost of a serial scan. Each segment starts
// from the state that 64 positions before it leave behind from zero; a
// carry reaches no further unless a run of nines carries it, and a segment
// whose start differs from the true state is scanned again from it, so the
// result is the serial scan's.
template <int B>
ENGINE_INLINE double error_scan_impl(int32_t N, const double* T1) {
    constexpr int S = 8;
    constexpr int32_t warm = 64;
    const int32_t len = N / S;
    ScanState start[S], state[S];
    if (len <= warm) return scan(T1, N + 1, 2, state[0], 0.0);
    double err[S] = {};
    for (int s = 1; s < S; ++s) scan(T1, N + 1 - s * len + warm, N + 2 - s * len, start[s], 0.0);
    for (int s = 0; s < S; ++s) state[s] = start[s];
    for (int32_t t = 0; t < len; ++t) {
        for (int s = 0; s < S; ++s) err[s] = scan_step(T1[N + 1 - s * len - t], state[s], err[s]);
    }
    double total = err[0];
    for (int s = 1; s < S; ++s) {
        if (!(start[s] == state[s - 1])) {
            state[s] = state[s - 1];
            err[s] = scan(T1, N + 1 - s * len, N + 2 - (s + 1) * len, state[s], 0.0);
        }
        total = err[s] > total ? err[s] : total;
    }
    return scan(T1, N + 1 - S * len, 2, state[S - 1], total);
}

ENGINE_VARIANTS(double, error_scan, (int32_t N, const double* T1), (N, T1))

// Squares a known digit pattern in radix 10 through the full-length
// transform and returns the largest distance of a convolution value from an
// integer, with the rounding allowance of the transform's length added.
double transform_error(double* T1) {
    const int32_t N = run_fft;
    T1[0] = 0.0;
    T1[1] = 9.0;
    T1[2] = 10.0;
    for (int32_t i = 3; i <= N / 2 + 1; ++i) T1[i] = 5.0;
    for (int32_t i = N / 2 + 2; i <= N; ++i) T1[i] = 0.0;
    T1[N + 1] = 9.0;

    fft_complex(N, 1, T1 + 1);
    T1[0] = 2.0 * T1[0];
    const double x = T1[1], y = T1[2];
    T1[1] = x * x + y * y;
    T1[2] = 2.0 * x * y;
    fft_spectrum_square(N, T1 + 1);
    T1[N + 1] = T1[N + 1] * T1[N + 1];
    fft_complex(N, -1, T1 + 1);
    T1[N + 1] = T1[1] - std::fabs(T1[N + 1] * (N / 2));

    const double err = error_scan(N, T1);
    // The second term is 2^-52 times n * 10^2 / 4.
    return 2.0 * err + 1.1641543284923728e-8;
}

struct Radix {
    uint32_t R;
    int32_t L;
};

// The largest decimal radix whose products the measured error keeps exact.
Radix choose_radix(double E) {
    Radix radix{10, 1};
    while (radix.R < 10000 && 100.0 * E < 0.4) {
        E = 100.0 * E;
        radix.R *= 10;
        radix.L += 1;
    }
    return radix;
}

// Sets *radix to R when R is one of the four radices a run may use.
bool forced_radix(uint32_t R, Radix* radix) {
    Radix r{10, 1};
    while (r.R < R && r.R < 10000) {
        r.R *= 10;
        r.L += 1;
    }
    if (r.R != R) return false;
    *radix = r;
    return true;
}

bool stop_requested(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

void report(const BenchmarkProgress* progress, int32_t k, int32_t digits, double seconds) {
    if (progress != nullptr && progress->callback != nullptr) {
        progress->callback(progress->iteration_offset + k, digits, progress->context, seconds);
    }
}

double score_for(int32_t digits, double elapsed) {
    if (!(elapsed > 0.0)) return 0.0;
    const double D = digits;
    double q = D * std::log2(D);
    q = q * std::log2(D);
    q = q / elapsed;
    q = q / 1765633.002816317;
    q = q * 1000.0;
    q = q / 1000.0;
    return std::ceil(q);
}

bool default_verify(const HpNumber* pi, uint32_t R, void*) { return pi_verify(pi, R); }

}  // namespace

double pi_transform_error_scan(int32_t N, const double* T1) { return error_scan(N, T1); }

double pi_benchmark_thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void pi_benchmark_run(BenchmarkResult* result, const BenchmarkProgress* progress) {
    pi_benchmark_run_with(result, progress, nullptr);
}

namespace {

// The computation proper, between allocation and proof: radix test,
// starting values, the AGM loop and the final combination. Leaves pi in
// storage.a and returns how it ended (verified here means "computed").
PiRunOutcome compute_pi(RunStorage& storage, const BenchmarkProgress* progress, const PiRunHooks& h,
                        double start, PiRunDetails* details, double* elapsed_out) {
    HpNumber *a = storage.a, *b = storage.b, *c = storage.c, *e = storage.e;
    HpNumber *t1 = storage.t1, *t2 = storage.t2;
    double *T1 = storage.T1, *T2 = storage.T2, *T3 = storage.T3;
    const int32_t n = run_words;
    const int32_t N = run_fft;
    const std::atomic<bool>* stop = h.stop;
    // A Newton iteration's status as the run's outcome.
    auto failed = [](HpNewtonStatus status) {
        return status == HpNewtonStatus::stopped ? PiRunOutcome::cancelled : PiRunOutcome::not_converged;
    };

    details->transform_error = transform_error(T1);
    Radix radix = choose_radix(details->transform_error);
    if (h.force_radix != 0) forced_radix(h.force_radix, &radix);
    const uint32_t R = radix.R;
    const int32_t L = radix.L;
    details->radix = R;
    details->digits_per_word = L;
    if (stop_requested(stop)) return PiRunOutcome::cancelled;

    // Starting values: c = 1/sqrt(8), a = 1 + 3c, b = sqrt(a) - 0.625 ...
    HpNewtonStatus status = hp_inv_sqrt(n, R, c, t1, t2, N, T1, T2, stop);
    if (status != HpNewtonStatus::converged) return failed(status);
    hp_mul_small(n, R, c, 3.0, e);
    hp_parse(n, L, "1", a);
    hp_add(n, R, a, e, a);
    status = hp_sqrt(n, R, a, b, t1, t2, N, T1, T2, stop);
    if (status != HpNewtonStatus::converged) return failed(status);
    hp_parse(n, L, "0.625", e);
    hp_sub(n, R, b, e, e);
    hp_add(n, R, b, b, b);
    hp_sub(n, R, e, c, c);
    hp_add(n, R, a, e, a);
    double elapsed = pi_benchmark_thread_seconds() - start;

    // The arithmetic-geometric-mean loop; q counts the words by which the
    // difference of the means has shrunk.
    int64_t p = 4;
    int32_t k = 0;
    int32_t q;
    do {
        if (k == pi_benchmark_max_iterations) return PiRunOutcome::not_converged;
        if (stop_requested(stop)) return PiRunOutcome::cancelled;
        const double iteration_start = pi_benchmark_thread_seconds();
        p = 2 * p;
        hp_add(n, R, a, b, e);
        hp_half(n, R, e, e);
        hp_mul_long(n, R, a, b, a, t1, N, T1, T2, T3);
        if (h.agm_fault != nullptr) h.agm_fault(a, k + 1, h.context);
        status = hp_sqrt(n, R, a, b, t1, t2, N, T1, T2, stop);
        if (status != HpNewtonStatus::converged) return failed(status);
        hp_sub(n, R, e, b, e);
        hp_add(n, R, b, b, b);
        hp_sub(n, R, c, e, c);
        hp_add(n, R, e, b, a);
        q = e->sign != 0 ? -e->exponent : n;
        k = k + 1;
        details->iterations = k;
        const double seconds = pi_benchmark_thread_seconds() - iteration_start;
        elapsed += seconds;
        report(progress, k, 4 * L * q, seconds);
    } while (q <= agm_precision_limit);
    if (stop_requested(stop)) return PiRunOutcome::cancelled;

    // Final combination: pi = (a^2 - e - e/2) / (a c - e) / p, with the
    // transform of the leading half of a made once for three products and
    // a square.
    const double final_start = pi_benchmark_thread_seconds();
    hp_half(n, R, e, e);
    hp_square(n, R, e, e, N, T1);
    hp_add(n, R, a, b, a);
    hp_mul(n, R, a, c, t1, N, T1, T2);

    int32_t s = hp_first_nonzero(c, half_words, n);
    hp_mul_held_part(half_words + 1, R, T1, c, s, s < 0 ? 0 : n - s, c, N, T2);
    std::memset(c->words + half_words + 1, 0, sizeof(int16_t) * (n - half_words - 1));
    hp_add(n, R, c, t1, c);
    hp_sub(n, R, c, e, c);
    status = hp_inverse(n, R, c, b, t1, t2, N, T2, T3, stop);
    if (status != HpNewtonStatus::converged) return failed(status);

    s = hp_first_nonzero(a, half_words, n);
    hp_mul_held_part(half_words + 1, R, T1, a, s, s < 0 ? 0 : n - s, t1, N, T2);
    std::memset(t1->words + half_words + 1, 0, sizeof(int16_t) * (n - half_words - 1));
    hp_square_held(n, R, T1, a, N);
    hp_add(n, R, a, t1, a);
    hp_sub(n, R, a, e, a);
    hp_half(n, R, e, e);
    hp_sub(n, R, a, e, a);
    if (stop_requested(stop)) return PiRunOutcome::cancelled;
    hp_mul_long(n, R, a, b, a, t1, N, T1, T2, T3);
    hp_div_small(n, R, a, p, a);
    elapsed += pi_benchmark_thread_seconds() - final_start;
    *elapsed_out = elapsed;
    return PiRunOutcome::verified;
}

const char* message_for(PiRunOutcome outcome) {
    switch (outcome) {
        case PiRunOutcome::allocation_failed: return pi_message_allocation_failed;
        case PiRunOutcome::digits_wrong: return pi_message_digits_wrong;
        case PiRunOutcome::not_converged: return pi_message_not_converged;
        case PiRunOutcome::cancelled: return pi_message_cancelled;
        case PiRunOutcome::verified: break;
    }
    return "";
}

}  // namespace

void pi_benchmark_run_with(BenchmarkResult* result, const BenchmarkProgress* progress,
                           const PiRunHooks* hooks) {
    if (result == nullptr) return;
    std::memset(result, 0, sizeof *result);
    const PiRunHooks none{};
    const PiRunHooks& h = hooks != nullptr ? *hooks : none;
    PiRunDetails scratch{};
    PiRunDetails* details = h.details != nullptr ? h.details : &scratch;
    *details = PiRunDetails{};

    const double start = pi_benchmark_thread_seconds();
    RunStorage storage(h.allocate != nullptr ? h.allocate : pi_pages_allocate,
                       h.release != nullptr ? h.release : pi_pages_release);
    double elapsed = 0.0;
    PiRunOutcome outcome = storage.obtain() ? compute_pi(storage, progress, h, start, details, &elapsed)
                                            : PiRunOutcome::allocation_failed;
    // Untimed: a score is only given for digits that really are pi.
    if (outcome == PiRunOutcome::verified) {
        const bool verified =
            (h.verify != nullptr ? h.verify : default_verify)(storage.a, details->radix, h.context);
        if (!verified) outcome = PiRunOutcome::digits_wrong;
    }
    details->outcome = outcome;
    if (outcome != PiRunOutcome::verified) {
        // A failed run keeps no digit count or time that could pass for a
        // result; details say what it got through.
        set_message(result, message_for(outcome));
        return;
    }
    result->success = 1;
    result->digits_calculated = details->digits_per_word << 21;
    result->elapsed_time = elapsed;
    result->score = score_for(result->digits_calculated, elapsed);
    if (h.digits_sink != nullptr) {
        const PiReference* ref = pi_reference_for(details->radix);
        h.digits_sink(storage.a, ref != nullptr ? ref->words : 0, details->radix, h.context);
    }
}

BenchmarkResult pi_benchmark_series(BenchmarkProgressFn callback, void* context) {
    return pi_benchmark_series_with(callback, context, nullptr);
}

namespace {

// The default run of a series, stoppable through the series' flag.
void stoppable_run(BenchmarkResult* result, const BenchmarkProgress* progress, void* context) {
    PiRunHooks hooks{};
    hooks.stop = static_cast<const std::atomic<bool>*>(context);
    pi_benchmark_run_with(result, progress, &hooks);
}

bool has_message(const BenchmarkResult& r, const char* text) {
    return std::strcmp(r.error_message, text) == 0;
}

// The caller's callback, and the highest number any run reported: a faulty
// run may go past its 19 iterations before its cap stops it.
struct SeriesProgress {
    BenchmarkProgressFn callback;
    void* context;
    int32_t highest;
};

void forward_progress(int32_t iteration, int32_t precision_digits, void* context, double seconds) {
    auto* sp = static_cast<SeriesProgress*>(context);
    if (iteration > sp->highest) sp->highest = iteration;
    if (sp->callback != nullptr) sp->callback(iteration, precision_digits, sp->context, seconds);
}

}  // namespace

BenchmarkResult pi_benchmark_series_with(BenchmarkProgressFn callback, void* context,
                                         const PiSeriesOptions* options) {
    const PiSeriesOptions defaults{pi_benchmark_series_runs, nullptr, nullptr, nullptr, nullptr};
    const PiSeriesOptions& o = options != nullptr ? *options : defaults;
    PiRunFn run = o.run != nullptr ? o.run : stoppable_run;
    void* run_context = o.run != nullptr ? o.run_context : const_cast<std::atomic<bool>*>(o.stop);

    SeriesProgress forward{callback, context, 0};
    BenchmarkProgress progress{forward_progress, &forward, 0};
    int32_t succeeded = 0;
    double total_time = 0.0;
    double score_sum = 0.0;
    int32_t digits = 0;
    BenchmarkResult result;
    std::memset(&result, 0, sizeof result);
    if (o.run_results != nullptr) std::memset(o.run_results, 0, sizeof(BenchmarkResult) * o.runs);

    for (int32_t i = 0; i < o.runs; ++i) {
        if (stop_requested(o.stop)) {
            set_message(&result, pi_message_cancelled);
            break;
        }
        BenchmarkResult record;
        std::memset(&record, 0, sizeof record);
        run(&record, &progress, run_context);
        if (o.run_results != nullptr) o.run_results[i] = record;
        // Every run moves the numbering on, past anything it reported, so a
        // progress display never steps back after a run that failed.
        progress.iteration_offset += pi_benchmark_iterations_per_run;
        if (forward.highest > progress.iteration_offset) progress.iteration_offset = forward.highest;
        if (record.success != 0) {
            if (succeeded == 0) digits = record.digits_calculated;
            total_time += record.elapsed_time;
            score_sum += record.score;
            succeeded += 1;
        } else if (has_message(record, pi_message_cancelled)) {
            set_message(&result, pi_message_cancelled);
            break;
        } else if (!has_message(record, pi_message_allocation_failed) && result.error_message[0] == 0) {
            // The first wrong result decides; the remaining runs still run,
            // so the records show whether the fault repeats.
            // A run's message is short; the place always fits after it.
            char place[32];
            std::snprintf(place, sizeof place, " (run %d of %d)", i + 1, o.runs);
            const size_t room = sizeof result.error_message - std::strlen(place) - 1;
            std::snprintf(result.error_message, sizeof result.error_message, "%.*s%s",
                          static_cast<int>(room), record.error_message, place);
        }
    }

    if (result.error_message[0] != 0) return result;
    if (succeeded == 0) {
        std::snprintf(result.error_message, sizeof result.error_message,
                      "All %d benchmark runs failed", o.runs);
        return result;
    }
    result.success = 1;
    result.digits_calculated = digits;
    result.elapsed_time = total_time;
    result.score = std::round(score_sum / succeeded);
    return result;
}
