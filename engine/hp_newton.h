// Newton iterations for the quantities no finite run of products gives:
// 1/sqrt(8), square roots and reciprocals. Each starts from a double and
// doubles its precision per step on one shared schedule, so early steps use
// short transforms and only the last ones touch all n words.
//
// N = n - 2 is the largest transform length; t1, t2 are n-word scratch
// numbers and the buffers are product buffers of N + 2 doubles. Nothing here
// allocates.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/hp_number.h"

// How an iteration ended. A sound computation always converges; the cap on
// repeated steps turns broken arithmetic (a faulty core) into a failure
// instead of an endless loop.
enum class HpNewtonStatus : int32_t { converged = 0, not_converged, stopped };

// A step is repeated at most this many times at one precision. Correct runs
// repeat a step at most once (a seed is short by a word or so); the cap is
// far above that and still bounds a broken iteration to a few dozen steps.
inline constexpr int32_t hp_newton_max_repeats = 6;

// The power of two P0 at which R^P0 first exceeds what a double resolves,
// capped at N: the precision of a double seed. R = 10000 gives 4.
int32_t hp_newton_start_precision(uint32_t R, int32_t N);

// Every iteration below looks at *stop (when not null) before each step and
// returns `stopped` when it is set, leaving its numbers partly refined.

// x = 1/sqrt(8) to n words.
HpNewtonStatus hp_inv_sqrt(int32_t n, uint32_t R, HpNumber* x, HpNumber* t1, HpNumber* t2, int32_t N,
                           double* T1, double* T2, const std::atomic<bool>* stop = nullptr);

// y = sqrt(x) to n words; x is read only and must not be y. A negative x
// leaves y unchanged; a zero x gives zero. t1 ends as about 1/sqrt(x).
HpNewtonStatus hp_sqrt(int32_t n, uint32_t R, const HpNumber* x, HpNumber* y, HpNumber* t1,
                       HpNumber* t2, int32_t N, double* T1, double* T2,
                       const std::atomic<bool>* stop = nullptr);

// b = 1/c to n words; c is read only and must not be b. A zero c leaves b
// unchanged.
HpNewtonStatus hp_inverse(int32_t n, uint32_t R, const HpNumber* c, HpNumber* b, HpNumber* t1,
                          HpNumber* t2, int32_t N, double* T2, double* T3,
                          const std::atomic<bool>* stop = nullptr);

// The precision schedule the three iterations share: start at
// hp_newton_start_precision, repeat a step whose measured agreement falls
// short, otherwise double; done once the precision passes N. The stricter
// rule applies once, at the first step where 8P reaches N. Exposed for
// tests of its cap.
class HpNewtonSchedule {
public:
    HpNewtonSchedule(uint32_t R, int32_t N) : P_(hp_newton_start_precision(R, N)), N_(N) {}

    bool running() const { return P_ <= N_ && !gave_up(); }
    bool gave_up() const { return repeats_ > hp_newton_max_repeats; }
    int32_t precision() const { return P_; }

    // Takes the agreement in words that the step at precision() measured.
    void advance(int64_t acc);

private:
    int32_t P_;
    int32_t N_;
    int32_t f_ = 8;
    int32_t repeats_ = 0;
};
