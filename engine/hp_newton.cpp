#include "engine/hp_newton.h"

#include <cmath>
#include <cstring>

#include "engine/hp_product.h"

namespace {

constexpr double double_epsilon = 2.220446049250313e-16;

// The lengths of one step at transform length P.
struct NewtonStep {
    int32_t P;  // transform length
    int32_t W;  // working length in words
    int32_t h;  // half precision
    int32_t m;  // length of the correction terms

    NewtonStep(int32_t p, int32_t N) : P(p), W((p < N ? p : N) + 2), h(p / 2), m(0) {
        const int32_t a = W - (h + 1);
        const int32_t b = W / 2 + 1;
        m = a > b ? a : b;
    }
};

inline int32_t min32(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t max32(int32_t a, int32_t b) { return a > b ? a : b; }

// Rounds z from len to m words when that shortens it. Words of z from
// *written on are known to be zero and are not cleared again: a step that
// doubles the precision would otherwise clear the whole new half, which
// holds only zeros. *written is kept an upper bound of the words in use.
inline void round_to(int32_t m, int32_t len, uint32_t R, HpNumber* z, int32_t* written) {
    const int32_t end = min32(len, *written);
    if (end > m) hp_round(m, end, R, z);
    if (len >= *written) *written = min32(*written, m);
}

// Clears words [from, to) so that an m-word result can enter a longer sum.
inline void clear_tail(HpNumber* z, int32_t from, int32_t to) {
    if (to > from) std::memset(z->words + from, 0, static_cast<size_t>(to - from) * sizeof(int16_t));
}

// Agreement in words measured by a correction term: -exponent, or P + 1
// when the correction vanished.
inline int64_t agreement(const HpNumber* correction, int32_t P) {
    return correction->sign == 0 ? P + 1 : -static_cast<int64_t>(correction->exponent);
}

// sum(x[i] R^-i) over the first count words, by Horner's rule from the last.
double leading_value(const HpNumber* x, int32_t count, uint32_t R) {
    const double r = static_cast<double>(R);
    double v = 0.0;
    for (int32_t i = count - 1; i >= 0; --i) v = v / r + x->words[i];
    return v;
}

// Runs the loop of one iteration: step(precision) returns the agreement it
// measured, until the schedule is done, gives up or a stop is requested.
template <class Step>
HpNewtonStatus run_schedule(uint32_t R, int32_t N, const std::atomic<bool>* stop, Step step) {
    HpNewtonSchedule schedule(R, N);
    while (schedule.running()) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) return HpNewtonStatus::stopped;
        schedule.advance(step(schedule.precision()));
    }
    return schedule.gave_up() ? HpNewtonStatus::not_converged : HpNewtonStatus::converged;
}

}  // namespace

void HpNewtonSchedule::advance(int64_t acc) {
    const int64_t limit = P_ < N_ ? P_ : N_;
    bool repeat;
    if (static_cast<int64_t>(f_) * P_ < N_) {
        repeat = 3 * acc < limit;
    } else {
        repeat = limit >= 2 * acc;
        f_ = 0;
    }
    if (repeat) {
        ++repeats_;
    } else {
        P_ *= 2;
        repeats_ = 0;
    }
}

int32_t hp_newton_start_precision(uint32_t R, int32_t N) {
    double s = static_cast<double>(R);
    int32_t P0 = 1;
    while (s * double_epsilon < 1.0 && P0 < N) {
        s = s * s;
        P0 = 2 * P0;
    }
    return P0;
}

HpNewtonStatus hp_inv_sqrt(int32_t n, uint32_t R, HpNumber* x, HpNumber* t1, HpNumber* t2, int32_t N,
                           double* T1, double* T2, const std::atomic<bool>* stop) {
    const double r = static_cast<double>(R);
    const int32_t P0 = hp_newton_start_precision(R, N);

    double v = 0.3535533905932738;
    int32_t exponent = 0;
    do {
        v *= r;
        --exponent;
    } while (v < 1.0);
    hp_set_zero(n, x);
    int32_t x_written = min32(P0, N) + 2;
    hp_from_double(x_written, R, v, exponent, x);

    return run_schedule(R, N, stop, [&](int32_t P) {
        const NewtonStep s(P, N);
        round_to(s.h + 1, s.W, R, x, &x_written);
        // x <- x + x (1 - 8 x^2) / 2, with one transform of x for both products.
        hp_square_hold(s.W, R, x, t1, s.P, T1, T2);
        hp_mul_small(s.W, R, t1, 8.0, t1);
        hp_set_one(s.W, t2);
        hp_sub(s.W, R, t2, t1, t2);
        const int64_t acc = agreement(t2, s.P);
        hp_mul_transformed(s.m, R, T1, 0, t2, t2, s.P, T2);
        hp_half(s.m, R, t2, t2);
        clear_tail(t2, s.m, s.W);
        hp_add(s.W, R, x, t2, x);
        x_written = max32(x_written, s.W);
        return acc;
    });
}

HpNewtonStatus hp_inverse(int32_t n, uint32_t R, const HpNumber* c, HpNumber* b, HpNumber* t1,
                          HpNumber* t2, int32_t N, double* T2, double* T3,
                          const std::atomic<bool>* stop) {
    if (c->sign == 0) return HpNewtonStatus::converged;
    const double r = static_cast<double>(R);
    const int32_t seed_words = min32(hp_newton_start_precision(R, N), N) + 2;

    double v = 1.0 / leading_value(c, seed_words, R);
    int32_t exponent = -c->exponent;
    // Only damaged words make v negative or zero; the steps then fail to
    // converge instead of this loop never ending.
    while (v > 0.0 && v < 1.0) {
        v *= r;
        --exponent;
    }
    hp_set_zero(n, b);
    hp_from_double(seed_words, R, v, exponent, b);
    b->sign = c->sign;
    int32_t b_written = seed_words;

    return run_schedule(R, N, stop, [&](int32_t P) {
        const NewtonStep s(P, N);
        round_to(s.h + 1, s.W, R, b, &b_written);
        // b <- b + b (1 - b c); the words of c beyond the first product's
        // reach enter through a second product with the same transform of b.
        hp_mul(s.W, R, b, c, t1, s.P, T2, T3);
        hp_set_one(s.W, t2);
        hp_sub(s.W, R, t2, t1, t2);
        hp_mul_transformed(s.W, R, T2, s.h + 1, c, t1, s.P, T3);
        hp_sub(s.m, R, t2, t1, t2);
        const int64_t acc = agreement(t2, s.P);
        hp_mul_transformed(s.m, R, T2, 0, t2, t2, s.P, T3);
        clear_tail(t2, s.m, s.W);
        hp_add(s.W, R, b, t2, b);
        b_written = max32(b_written, s.W);
        return acc;
    });
}

HpNewtonStatus hp_sqrt(int32_t n, uint32_t R, const HpNumber* x, HpNumber* y, HpNumber* t1,
                       HpNumber* t2, int32_t N, double* T1, double* T2,
                       const std::atomic<bool>* stop) {
    if (x->sign < 0) return HpNewtonStatus::converged;
    if (x->sign == 0) {
        hp_set_zero(n, y);
        return HpNewtonStatus::converged;
    }
    const double r = static_cast<double>(R);
    const int32_t W0 = min32(hp_newton_start_precision(R, N) + 2, n);

    const double v = leading_value(x, W0, R);
    double s = (x->exponent & 1) ? std::sqrt(v * r) : std::sqrt(v);
    int32_t y_exponent = x->exponent >> 1;
    if (s < 1.0) {
        s *= r;
        --y_exponent;
    }
    hp_set_zero(n, y);
    hp_from_double(W0, R, s, y_exponent, y);
    int32_t y_written = W0;

    double u = 1.0 / s;
    int32_t u_exponent = -y_exponent;
    while (u > 0.0 && u < 1.0) {
        u *= r;
        --u_exponent;
    }
    hp_set_zero(n, t1);
    hp_from_double(W0, R, u, u_exponent, t1);
    int32_t t1_written = W0;

    // y and t1 ~ 1/y improve together: t1 <- t1 (2 - y t1), then
    // y <- y + t1 (x - y^2) / 2.
    int32_t previous_P = 0;
    return run_schedule(R, N, stop, [&](int32_t P) {
        const NewtonStep st(P, N);
        const int32_t h2 = st.h > 2 ? st.h : 2;
        if (h2 / 2 + 1 < st.m) round_to(h2 / 2 + 1, st.W, R, t1, &t1_written);
        if (previous_P == h2) {
            // The last step's product with t1 left its transform in T1.
            hp_square_held(st.m, R, T1, t2, previous_P);
        } else {
            hp_square(st.m, R, t1, t2, h2, T1);
        }
        round_to(st.h + 1, st.W, R, y, &y_written);
        hp_mul(st.m, R, y, t2, t2, st.P, T1, T2);
        hp_sub(st.m, R, t1, t2, t2);
        hp_add(st.m, R, t1, t2, t1);
        t1_written = max32(t1_written, st.m);

        hp_square_held(st.W, R, T1, t2, st.P);
        hp_sub(st.W, R, x, t2, t2);
        int64_t acc;
        if (t2->sign == 0) {
            acc = st.P + 1;
        } else {
            acc = static_cast<int64_t>(x->exponent) - t2->exponent;
            if (x->words[0] > t2->words[0]) acc += 1;
        }
        round_to(st.h + 1, st.W, R, t1, &t1_written);
        hp_mul(st.m, R, t1, t2, t2, st.P, T1, T2);
        hp_half(st.m, R, t2, t2);
        clear_tail(t2, st.m, st.W);
        hp_add(st.W, R, y, t2, y);
        y_written = max32(y_written, st.W);

        previous_P = st.P;
        return acc;
    });
}
