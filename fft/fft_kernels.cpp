// Radix-4 decimation-in-frequency stages on plain and odd blocks, the
// depth-first recursion, the fixed leaf walks and the kernel entry points.
//
// Twiddle factors come from the three-term recurrence
//     w_{k+2} = w_k + 2i sin(step) w_{k+1}
// (one fused multiply-add per component), restarted from an exact sine and
// cosine at the first index of every span of 64, so that no factor is more
// than 63 steps away from an exact value. Cubes w^{3k} run the same
// recurrence with 2 sin(3 step) and are started with the triple-angle rules;
// the odd stage also runs it for its factors times e^{i pi/4} and e^{3i pi/4}.
// Mirror indices Q-k take their factors from those of k, so only the front
// half of each quarter generates any.
#include "fft/fft_kernels.h"

#include "fft/fft_butterflies.h"

namespace {

using namespace fft_detail;

constexpr double two_pi = 6.283185307179586476925286766559;
constexpr int32_t reseed_span = 64;

// A factor as a plain pair, for the exact seeds.
struct unit {
    double re;
    double im;
};

// (cos 3a, sin 3a) from (cos a, sin a).
FFT_INLINE unit triple(unit w) {
    return {w.re * fft_fma(-4.0 * w.im, w.im, 1.0), w.im * fft_fma(4.0 * w.re, w.re, -1.0)};
}

// (cos(a + step), sin(a + step)) from (cos a, sin a) by angle addition.
FFT_INLINE unit rotate(unit w, double cos_step, double sin_step) {
    return {fft_fma(w.re, cos_step, -(w.im * sin_step)), fft_fma(w.im, cos_step, w.re * sin_step)};
}

FFT_INLINE unit eighth(unit w) { return {sqrt_half * (w.re - w.im), sqrt_half * (w.re + w.im)}; }
FFT_INLINE unit three_eighths(unit w) {
    return {-sqrt_half * (w.re + w.im), sqrt_half * (w.re - w.im)};
}

FFT_INLINE twiddle to_twiddle(unit w) { return make_twiddle(w.re, w.im); }

// One step of the recurrence, w0 + i t w1 with t = 2 sin(step), on the
// twiddle layout: re = fma(-t, w1_im, w0_re), im = fma(t, w1_re, w0_im).
FFT_INLINE twiddle recur(twiddle w0, twiddle w1, double t) {
    return {fma2(cplx{t, -t}, w1.i, w0.r), fma2(cplx{-t, t}, w1.r, w0.i)};
}

FFT_INLINE bool starts_span(int32_t k) { return k > 1 && ((k - 1) & (reseed_span - 1)) == 0; }

// ---------------------------------------------------------------- plain stage

// w^k, w^{k+1} and their cubes; the recurrence advances them by two indices.
struct plain_factors {
    twiddle w1a, w1b, w3a, w3b;
    double t1, t3, cos_step, sin_step, step;

    FFT_INLINE void set(unit w) {
        const unit next = rotate(w, cos_step, sin_step);
        w1a = to_twiddle(w);
        w1b = to_twiddle(next);
        w3a = to_twiddle(triple(w));
        w3b = to_twiddle(triple(next));
    }

    FFT_INLINE void seed(int32_t k) {
        double s, c;
        fft_sincos(static_cast<double>(k) * step, &s, &c);
        set(unit{c, s});
    }

    FFT_INLINE explicit plain_factors(double step_angle) : step(step_angle) {
        fft_sincos(step, &sin_step, &cos_step);
        set(unit{cos_step, sin_step});
        t1 = 2.0 * sin_step;
        t3 = 2.0 * triple(unit{cos_step, sin_step}).im;
    }

    FFT_INLINE void advance() {
        w1a = recur(w1a, w1b, t1);
        w1b = recur(w1b, w1a, t1);
        w3a = recur(w3a, w3b, t3);
        w3b = recur(w3b, w3a, t3);
    }
};

template <bool Conj>
FFT_INLINE void plain_at(double* p, int32_t qd, twiddle w1, twiddle w3) {
    cplx y0 = load<Conj>(p), y1 = load<Conj>(p + qd);
    cplx y2 = load<Conj>(p + 2 * qd), y3 = load<Conj>(p + 3 * qd);
    butterfly_plain(y0, y1, y2, y3, w1, w3);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

template <bool Conj>
FFT_INLINE void plain_at0(double* p, int32_t qd) {
    cplx y0 = load<Conj>(p), y1 = load<Conj>(p + qd);
    cplx y2 = load<Conj>(p + 2 * qd), y3 = load<Conj>(p + 3 * qd);
    butterfly_plain0(y0, y1, y2, y3);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

// Index k and its mirror Q-k share the factors: w^{Q-k} = i conj(w^k).
template <bool Conj>
FFT_INLINE void stage_plain_impl(int32_t n, double* d) {
    const int32_t q = n / 8;   // complex values per quarter
    const int32_t qd = n / 4;  // doubles per quarter
    const int32_t half = q / 2;
    plain_at0<Conj>(d, qd);
    plain_factors f(2.0 * two_pi / static_cast<double>(n));
    int32_t k = 1;
    for (; k + 1 <= half - 2; k += 2) {
        if (starts_span(k)) f.seed(k);
        plain_at<Conj>(d + 2 * k, qd, f.w1a, f.w3a);
        plain_at<Conj>(d + 2 * k + 2, qd, f.w1b, f.w3b);
        plain_at<Conj>(d + 2 * (q - k), qd, mirror_i(f.w1a), mirror_neg_i(f.w3a));
        plain_at<Conj>(d + 2 * (q - k - 1), qd, mirror_i(f.w1b), mirror_neg_i(f.w3b));
        f.advance();
    }
    // k = half - 1, its mirror half + 1, and half itself, whose factor is the
    // eighth turn with the recurrence's value standing in for sqrt(1/2).
    plain_at<Conj>(d + 2 * k, qd, f.w1a, f.w3a);
    plain_at<Conj>(d + 2 * (q - k), qd, mirror_i(f.w1a), mirror_neg_i(f.w3a));
    const double r = f.w1b.r[0];
    plain_at<Conj>(d + 2 * half, qd, make_twiddle(r, r), make_twiddle(-r, r));
}

// ------------------------------------------------------------------ odd stage

// a = w^{k/2}, b = e^{i pi/4} a, c = w^{3k/2}, d = e^{3i pi/4} c at k and k+1.
struct odd_factors {
    twiddle aa, ab, ba, bb, ca, cb, da, db;
    double t1, t3, cos_step, sin_step, step;

    FFT_INLINE void set(unit a) {
        const unit next = rotate(a, cos_step, sin_step);
        const unit c = triple(a), c_next = triple(next);
        aa = to_twiddle(a);
        ab = to_twiddle(next);
        ca = to_twiddle(c);
        cb = to_twiddle(c_next);
        ba = to_twiddle(eighth(a));
        bb = to_twiddle(eighth(next));
        da = to_twiddle(three_eighths(c));
        db = to_twiddle(three_eighths(c_next));
    }

    FFT_INLINE void seed(int32_t k) {
        double s, c;
        fft_sincos(static_cast<double>(k) * step, &s, &c);
        set(unit{c, s});
    }

    FFT_INLINE explicit odd_factors(double step_angle) : step(step_angle) {
        fft_sincos(step, &sin_step, &cos_step);
        set(unit{cos_step, sin_step});
        t1 = 2.0 * sin_step;
        t3 = 2.0 * triple(unit{cos_step, sin_step}).im;
    }

    FFT_INLINE void advance() {
        aa = recur(aa, ab, t1);
        ab = recur(ab, aa, t1);
        ba = recur(ba, bb, t1);
        bb = recur(bb, ba, t1);
        ca = recur(ca, cb, t3);
        cb = recur(cb, ca, t3);
        da = recur(da, db, t3);
        db = recur(db, da, t3);
    }
};

FFT_INLINE void odd_at(double* p, int32_t qd, twiddle a, twiddle b, twiddle c, twiddle dd) {
    cplx y0 = load(p), y1 = load(p + qd), y2 = load(p + 2 * qd), y3 = load(p + 3 * qd);
    butterfly_odd(y0, y1, y2, y3, a, b, c, dd);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

FFT_INLINE void odd_at0(double* p, int32_t qd) {
    cplx y0 = load(p), y1 = load(p + qd), y2 = load(p + 2 * qd), y3 = load(p + 3 * qd);
    butterfly_odd0(y0, y1, y2, y3);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

// With w^{Q/2} = e^{i pi/4}, the factors of the mirror Q-k are
// a' = i conj(b), b' = i conj(a), c' = -i conj(d), d' = -i conj(c).
FFT_INLINE void odd_mirror_at(double* p, int32_t qd, twiddle a, twiddle b, twiddle c, twiddle dd) {
    odd_at(p, qd, mirror_i(b), mirror_i(a), mirror_neg_i(dd), mirror_neg_i(c));
}

FFT_INLINE void stage_odd_impl(int32_t n, double* d) {
    const int32_t q = n / 8;
    const int32_t qd = n / 4;
    const int32_t half = q / 2;
    odd_at0(d, qd);
    odd_factors f(two_pi / static_cast<double>(n));
    int32_t k = 1;
    for (; k + 1 <= half - 2; k += 2) {
        if (starts_span(k)) f.seed(k);
        odd_at(d + 2 * k, qd, f.aa, f.ba, f.ca, f.da);
        odd_at(d + 2 * k + 2, qd, f.ab, f.bb, f.cb, f.db);
        odd_mirror_at(d + 2 * (q - k), qd, f.aa, f.ba, f.ca, f.da);
        odd_mirror_at(d + 2 * (q - k - 1), qd, f.ab, f.bb, f.cb, f.db);
        f.advance();
    }
    odd_at(d + 2 * k, qd, f.aa, f.ba, f.ca, f.da);
    odd_mirror_at(d + 2 * (q - k), qd, f.aa, f.ba, f.ca, f.da);
    odd_at(d + 2 * half, qd, f.ab, f.bb, f.cb, f.db);
}

// ------------------------------------------------------------------- leaves

// A quarter of m = 64 or 128 doubles: its stage, then four kernels.
template <int32_t M>
FFT_INLINE void quarter_plain(double* d) {
    stage_plain_impl<false>(M, d);
    if constexpr (M == 64) {
        kernel8(d);
        kernel8_odd(d + 16);
        kernel8(d + 32);
        kernel8(d + 48);
    } else {
        kernel16(d);
        kernel16_odd(d + 32);
        kernel16(d + 64);
        kernel16(d + 96);
    }
}

template <int32_t M>
FFT_INLINE void quarter_odd(double* d) {
    stage_odd_impl(M, d);
    if constexpr (M == 64) {
        kernel8(d);
        kernel8_odd(d + 16);
        kernel8(d + 32);
        kernel8_odd(d + 48);
    } else {
        kernel16(d);
        kernel16_odd(d + 32);
        kernel16(d + 64);
        kernel16_odd(d + 96);
    }
}

// The last quarter of a plain leaf is a plain block of M doubles finished by
// the small leaf, which is the same walk as quarter_plain.
template <int32_t M>
void leaf_plain_walk(double* d) {
    quarter_plain<M>(d);
    quarter_odd<M>(d + M);
    quarter_plain<M>(d + 2 * M);
    quarter_plain<M>(d + 3 * M);
}

template <int32_t M>
void leaf_odd_walk(double* d) {
    quarter_plain<M>(d);
    quarter_odd<M>(d + M);
    quarter_plain<M>(d + 2 * M);
    quarter_odd<M>(d + 3 * M);
}

}  // namespace

void fft_stage_plain(int32_t n, double* data) { stage_plain_impl<false>(n, data); }
void fft_stage_plain_conj(int32_t n, double* data) { stage_plain_impl<true>(n, data); }
void fft_stage_odd(int32_t n, double* data) { stage_odd_impl(n, data); }

void fft_leaf_plain(int32_t n, double* data) {
    if (n == 256) {
        leaf_plain_walk<64>(data);
    } else {
        leaf_plain_walk<128>(data);
    }
}

void fft_leaf_odd(int32_t n, double* data) {
    if (n == 256) {
        leaf_odd_walk<64>(data);
    } else {
        leaf_odd_walk<128>(data);
    }
}

void fft_leaf_small(int32_t n, double* data) {
    const int32_t m = n / 4;
    if (n == 64) {
        kernel8(data);
        kernel8_odd(data + m);
        kernel8(data + 2 * m);
        kernel8(data + 3 * m);
    } else {
        kernel16(data);
        kernel16_odd(data + m);
        kernel16(data + 2 * m);
        kernel16(data + 3 * m);
    }
}

// Blocks of 512 and 256 doubles run their stage with the length known at
// compile time, so that its setup folds to constants.
void fft_recurse_plain(int32_t n, double* data) {
    if (n == 512) {
        stage_plain_impl<false>(512, data);
        leaf_plain_walk<128>(data);
        return;
    }
    if (n == 256) {
        stage_plain_impl<false>(256, data);
        leaf_plain_walk<64>(data);
        return;
    }
    stage_plain_impl<false>(n, data);
    const int32_t m = n / 4;
    fft_recurse_plain(m, data);
    fft_recurse_odd(m, data + m);
    fft_recurse_plain(m, data + 2 * m);
    fft_recurse_plain(m, data + 3 * m);
}

void fft_recurse_odd(int32_t n, double* data) {
    if (n == 512) {
        stage_odd_impl(512, data);
        leaf_odd_walk<128>(data);
        return;
    }
    if (n == 256) {
        stage_odd_impl(256, data);
        leaf_odd_walk<64>(data);
        return;
    }
    stage_odd_impl(n, data);
    const int32_t m = n / 4;
    fft_recurse_plain(m, data);
    fft_recurse_odd(m, data + m);
    fft_recurse_plain(m, data + 2 * m);
    fft_recurse_odd(m, data + 3 * m);
}

void fft_kernel8(double* data) { kernel8(data); }
void fft_kernel8_odd(double* data) { kernel8_odd(data); }
void fft_kernel16(double* data) { kernel16(data); }
void fft_kernel16_odd(double* data) { kernel16_odd(data); }
