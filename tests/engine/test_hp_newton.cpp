// Newton iterations against MPFR: 1/sqrt(8), square roots and reciprocals.
// Truncated products and the last step's rounding leave the final words
// uncertain: the deviation from MPFR's value may reach the last
// kTrailingWords words, never more.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/hp_newton.h"
#include "gmp_reference.h"

namespace {

constexpr int32_t kTrailingWords = 2;

struct NewtonWork {
    explicit NewtonWork(int32_t words)
        : n(words), N(words - 2), t1(hp_make(n)), t2(hp_make(n)), T1(static_cast<size_t>(N) + 2), T2(T1.size()),
          T3(T1.size()) {}
    int32_t n, N;
    HpPtr t1, t2;
    std::vector<double> T1, T2, T3;
};

// 1/sqrt(8), sqrt(x) and 1/x for random x at one length and radix; returns
// the largest deviation as log_R of units of the last word.
double check_newton(HpRandom& rnd, int32_t n, uint32_t R, int samples) {
    NewtonWork w(n);
    HpPtr x = hp_make(n), y = hp_make(n);
    mpfr_t ref, arg;
    mpfr_inits2(mpfr_bits_for(n, R), ref, arg, static_cast<mpfr_ptr>(nullptr));
    double worst = -HUGE_VAL;
    auto close = [&](const HpNumber* z, const char* what, double limit = kTrailingWords) {
        const double off = log_units_off(n, R, z, ref);
        if (limit == kTrailingWords) worst = std::max(worst, off);
        EXPECT_LT(off, limit) << what << ": R^" << off << " units of the last word off";
        return off < limit;
    };
    hp_inv_sqrt(n, R, y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    mpfr_set_ui(ref, 8, MPFR_RNDN);
    mpfr_rec_sqrt(ref, ref, MPFR_RNDN);
    bool ok = close(y.get(), "1/sqrt(8)");
    for (int c = 0; c < samples && ok; ++c) {
        rnd.fill(n, R, x.get(), 4);
        x->sign = 1;
        mpfr_set_exact(R, exact_of(n, R, x.get()), arg);
        hp_sqrt(n, R, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
        mpfr_sqrt(ref, arg, MPFR_RNDN);
        ok = close(y.get(), "sqrt");
        mpfr_rec_sqrt(ref, arg, MPFR_RNDN);
        ok = close(w.t1.get(), "t1 near 1/sqrt(x) after sqrt", n / 2 + 2.0) && ok;

        if (rnd.chance(50)) x->sign = -1;
        mpfr_ui_div(ref, 1, arg, MPFR_RNDN);
        if (x->sign < 0) mpfr_neg(ref, ref, MPFR_RNDN);
        hp_inverse(n, R, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T2.data(), w.T3.data());
        ok = close(y.get(), "inverse") && ok;
        if (!ok) ADD_FAILURE() << "sample " << c << ": x " << x->sign << "/" << x->exponent << " word 0 " << x->words[0];
    }
    mpfr_clears(ref, arg, static_cast<mpfr_ptr>(nullptr));
    return worst;
}

TEST(HpNewton, MatchesMpfr) {
    HpRandom rnd("HpNewton");
    for (const uint32_t R : kRadices) {
        double worst = -HUGE_VAL;
        for (const int32_t N : {4, 8, 64, 1024, 4096, kRunTransform}) {
            if (N == kRunTransform && R != 10000) continue;
            SCOPED_TRACE(::testing::Message() << "R=" << R << " N=" << N);
            worst = std::max(worst, check_newton(rnd, N + 2, R, N <= 64 ? 12 : N <= 4096 ? 3 : 1));
            if (HasFailure()) return;
        }
        std::printf("[ measured ] R=%u: at most %.0f units of the last word from MPFR\n", R, std::pow(R, worst));
    }
}

// A negative x leaves y alone and a zero x gives zero; 1/0 leaves b alone.
TEST(HpNewton, ZeroAndNegativeArguments) {
    const int32_t n = 66;
    NewtonWork w(n);
    HpPtr x = hp_make(n), y = hp_make(n), seven = hp_make(n), zero = hp_make(n);
    hp_parse(n, 4, "7", seven.get());
    hp_copy(n, seven.get(), y.get());
    hp_parse(n, 4, "-4", x.get());
    hp_sqrt(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    EXPECT_TRUE(same_number(n, y.get(), seven.get())) << "sqrt(-4)";
    hp_inverse(n, 10000, zero.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T2.data(), w.T3.data());
    EXPECT_TRUE(same_number(n, y.get(), seven.get())) << "1/0";
    hp_sqrt(n, 10000, zero.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data());
    EXPECT_TRUE(same_number(n, y.get(), zero.get())) << "sqrt(0)";
}

// The schedule doubles on good agreement and repeats on poor; broken
// arithmetic that never agrees makes it give up after a bounded number of
// steps instead of looping forever.
TEST(HpNewton, ScheduleGivesUpOnArithmeticThatNeverAgrees) {
    const int32_t N = 1 << 21;
    HpNewtonSchedule good(10000, N);
    int steps = 0;
    while (good.running()) {
        good.advance(good.precision());  // full agreement
        ++steps;
    }
    EXPECT_FALSE(good.gave_up());
    EXPECT_EQ(steps, 20) << "4 -> 2^21 in doublings";

    HpNewtonSchedule broken(10000, N);
    steps = 0;
    while (broken.running() && steps < 1000) {
        broken.advance(0);
        ++steps;
    }
    EXPECT_TRUE(broken.gave_up());
    EXPECT_EQ(steps, hp_newton_max_repeats + 1);
    EXPECT_EQ(broken.precision(), 4) << "never doubled";
}

// A stop request is seen before the first step; the iteration says so.
TEST(HpNewton, StopIsSeenBetweenSteps) {
    const int32_t n = 1026;
    NewtonWork w(n);
    HpPtr x = hp_make(n), y = hp_make(n);
    hp_parse(n, 4, "2", x.get());
    std::atomic<bool> stop{true};
    EXPECT_EQ(hp_sqrt(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data(), &stop),
              HpNewtonStatus::stopped);
    EXPECT_EQ(hp_inv_sqrt(n, 10000, y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data(), &stop),
              HpNewtonStatus::stopped);
    stop = false;
    EXPECT_EQ(hp_sqrt(n, 10000, x.get(), y.get(), w.t1.get(), w.t2.get(), w.N, w.T1.data(), w.T2.data(), &stop),
              HpNewtonStatus::converged);
    EXPECT_EQ(y->words[0], 1);
    EXPECT_EQ(y->words[1], 4142);
}

}  // namespace
