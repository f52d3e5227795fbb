// The whole transform for one instruction set: radix-4 decimation-in-
// frequency stages on plain and odd blocks, the depth-first recursion, the
// fixed leaf walks, the bit-reversal permutation and the entry. Included by
// one translation unit per instruction set (see fft_simd.h), which defines
// FFT_ISA_NS, FFT_ISA_WIDTH (complex values per vector) and FFT_ISA_OPS.
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
//
// Wide vectors change only how many indices or blocks go through one
// instruction: the recurrence still runs one factor pair at a time, in the
// same order, and wide twiddles are gathered from its values.
#pragma once

#include <type_traits>

#include "fft/fft_dispatch.h"
#include "fft/fft_simd.h"

namespace FFT_ISA_NS {

inline constexpr int width = FFT_ISA_WIDTH;

constexpr double two_pi = 6.283185307179586476925286766559;
constexpr int32_t reseed_span = 64;

// A factor as a plain pair, for the exact seeds.
struct unit {
    double re;
    double im;
};

// (cos 3a, sin 3a) from (cos a, sin a).
FFT_INLINE unit triple(unit w) {
    return {w.re * fma1(-4.0 * w.im, w.im, 1.0), w.im * fma1(4.0 * w.re, w.re, -1.0)};
}

// (cos(a + step), sin(a + step)) from (cos a, sin a) by angle addition.
FFT_INLINE unit rotate(unit w, double cos_step, double sin_step) {
    return {fma1(w.re, cos_step, -(w.im * sin_step)), fma1(w.im, cos_step, w.re * sin_step)};
}

FFT_INLINE unit eighth(unit w) { return {sqrt_half * (w.re - w.im), sqrt_half * (w.re + w.im)}; }
FFT_INLINE unit three_eighths(unit w) {
    return {-sqrt_half * (w.re + w.im), sqrt_half * (w.re - w.im)};
}

// Recurrence states wider than the target's vectors are held as several of
// them. GCC keeps a vector type wider than its registers in memory and moves
// it in pieces, and each step's loads then waited on the narrower stores of
// the step before (the odd stage's eight values on AVX2, the plain stage's
// four on the baseline). The lanes are independent, so the parts step
// exactly as the whole did.
template <class V>
struct split_state {
    typedef cvec<width> part_type;
    static constexpr int count = lanes<V> / lanes<part_type>;
    part_type part[count];
};

template <class V>
using state_of = std::conditional_t<(lanes<V> > lanes<cvec<width>>), split_state<V>, V>;

template <std::size_t Offset, class V, std::size_t... I>
FFT_INLINE cvec<width> part_at(V v, std::index_sequence<I...>) {
    return __builtin_shufflevector(v, v, (Offset + I)...);
}

template <class V, std::size_t... J>
FFT_INLINE split_state<V> split_impl(V v, std::index_sequence<J...>) {
    constexpr std::size_t L = lanes<cvec<width>>;
    split_state<V> s;
    ((s.part[J] = part_at<J * L>(v, lane_seq<cvec<width>>{})), ...);
    return s;
}

template <class S, class V>
FFT_INLINE S to_state(V v) {
    if constexpr (std::is_same_v<S, V>) {
        return v;
    } else {
        return split_impl(v, std::make_index_sequence<S::count>{});
    }
}

template <class V>
FFT_INLINE split_state<V> fma2(split_state<V> a, split_state<V> b, split_state<V> c) {
    split_state<V> r;
    for (int j = 0; j < split_state<V>::count; ++j) r.part[j] = fma2(a.part[j], b.part[j], c.part[j]);
    return r;
}

template <class V>
FFT_INLINE split_state<V> swap(split_state<V> a) {
    for (int j = 0; j < split_state<V>::count; ++j) a.part[j] = swap(a.part[j]);
    return a;
}

template <class V>
FFT_INLINE double first_lane(V v) {
    return v[0];
}
template <class V>
FFT_INLINE double first_lane(split_state<V> s) {
    return s.part[0][0];
}

// The recurrence runs on factors in their plain layout (re, im), several
// independent ones side by side in one vector: with T = (-t, t) per value,
//     w_{k+2} = fma(T, swap(w_{k+1}), w_k)
// gives re = fma(-t, im, re') and im = fma(t, re, im'), the same roundings as
// the product i t w_{k+1} added to w_k component by component. The swapped
// values run their own recurrence, swap(w_{k+2}) = fma(swap(T), w_{k+1},
// swap(w_k)), which gives the same numbers and keeps the shuffle off the
// chain of dependent steps.
template <class V>
struct recurrence {
    typedef state_of<V> S;
    // A state held in several of 16 vectors leaves no registers for the
    // swapped copies: there each step swaps w_{k+1} instead, which gives the
    // same numbers (lane j is fma(T_{j^1}, w_{k+1,j}, w_{k,j^1}) either way).
    // That took 6 % off the baseline transform and 1 to 2 % off AVX2's.
    static constexpr bool swapped_copies = std::is_same_v<S, V> || vector_registers >= 32;
    S x, y;    // w_k, w_{k+1}
    S xs, ys;  // the same with re and im exchanged
    S t, ts;

    FFT_INLINE void set(V w0, V w1) {
        x = to_state<S>(w0);
        y = to_state<S>(w1);
        if constexpr (swapped_copies) {
            xs = to_state<S>(swap(w0));
            ys = to_state<S>(swap(w1));
        }
    }

    FFT_INLINE void set_step(V step) {
        t = to_state<S>(step);
        if constexpr (swapped_copies) ts = to_state<S>(swap(step));
    }

    // Returns w_k and moves on by one index.
    FFT_INLINE S next() {
        const S current = x;
        if constexpr (swapped_copies) {
            const S next_y = fma2(t, ys, x);
            const S next_ys = fma2(ts, y, xs);
            x = y;
            xs = ys;
            y = next_y;
            ys = next_ys;
        } else {
            const S next_y = fma2(t, swap(y), x);
            x = y;
            y = next_y;
        }
        return current;
    }
};

FFT_INLINE bool starts_span(int32_t k) { return k > 1 && ((k - 1) & (reseed_span - 1)) == 0; }

// ------------------------------------------------------ factors to twiddles

template <class V, std::size_t... J>
FFT_INLINE V dup_re_impl(V a, std::index_sequence<J...>) {
    return __builtin_shufflevector(a, a, (J & ~std::size_t{1})...);
}
template <class V, std::size_t... J>
FFT_INLINE V dup_im_impl(V a, std::index_sequence<J...>) {
    return __builtin_shufflevector(a, a, (J | 1)...);
}

// Twiddles of W factors held as (re, im) values.
template <class V>
FFT_INLINE twiddle<V> to_twiddle(V w) {
    return {dup_re_impl(w, lane_seq<V>{}), twiddle_im(dup_im_impl(w, lane_seq<V>{}))};
}

// Where a general permute takes two operations, reversing two values first
// and duplicating after takes one fewer: transforms of 2^21 doubles took
// about 1 % less time on an AMD EPYC of family 25.
template <class V>
inline constexpr bool reverse_first = split_lane_permutes && std::is_same_v<V, v2>;

// Factors of the mirror index Q-k from those of k: w^{Q-k} = i*conj(w^k) and
// w^{3(Q-k)} = -i*conj(w^{3k}), since w^Q = i. A vector of mirrors holds them
// in ascending address order, so the values come in reversed.
template <class V, std::size_t... J>
FFT_INLINE V pick_im_reversed(V a, std::index_sequence<J...> seq) {
    if constexpr (reverse_first<V>) {
        return dup_im_impl(exchange_halves(a), seq);
    } else {
        constexpr std::size_t n = sizeof...(J);
        return __builtin_shufflevector(a, a, (n - 1 - (J & ~std::size_t{1}))...);
    }
}
template <class V, std::size_t... J>
FFT_INLINE V pick_re_reversed(V a, std::index_sequence<J...> seq) {
    if constexpr (reverse_first<V>) {
        return dup_re_impl(exchange_halves(a), seq);
    } else {
        constexpr std::size_t n = sizeof...(J);
        return __builtin_shufflevector(a, a, (n - 2 - (J & ~std::size_t{1}))...);
    }
}

// i*conj(w): (w_im, w_re).
template <class V>
FFT_INLINE twiddle<V> mirror_i(V w) {
    return {pick_im_reversed(w, lane_seq<V>{}), twiddle_im(pick_re_reversed(w, lane_seq<V>{}))};
}
// -i*conj(w): (-w_im, -w_re).
// With addsub_products it is held negated (i = (w_re, w_re)), one sign flip.
template <class V>
FFT_INLINE twiddle<V, addsub_products> mirror_neg_i(V w) {
    const V re = pick_re_reversed(w, lane_seq<V>{});
    if constexpr (addsub_products) {
        return {-pick_im_reversed(w, lane_seq<V>{}), re};
    } else {
        return {-pick_im_reversed(w, lane_seq<V>{}), negate_im(re)};
    }
}

// Value Slot of each of W recurrence states (R values each) in one vector:
// the factors of W consecutive indices.
template <int W, int Slot>
FFT_INLINE cvec<W> pick(const v2* s) {
    constexpr int a = 2 * Slot, b = 2 * Slot + 1;
    if constexpr (W == 1) {
        return __builtin_shufflevector(s[0], s[0], a, b);
    } else if constexpr (W == 2) {
        return __builtin_shufflevector(s[0], s[1], a, b, a + 4, b + 4);
    } else {
        const v4 lo = __builtin_shufflevector(s[0], s[1], 0, 1, 2, 3, 4, 5, 6, 7);
        const v4 hi = __builtin_shufflevector(s[2], s[3], 0, 1, 2, 3, 4, 5, 6, 7);
        return __builtin_shufflevector(lo, hi, a, b, a + 4, b + 4, a + 8, b + 8, a + 12, b + 12);
    }
}

// The same from states held in parts of `width` values each.
template <int W, int Slot, class V>
FFT_INLINE cvec<W> pick(const split_state<V>* s) {
    static_assert(W == 1 || W == width, "a pick spans one part of each state");
    constexpr int p = Slot / width, a = 2 * (Slot % width), b = a + 1;
    if constexpr (W == 1) {
        return __builtin_shufflevector(s[0].part[p], s[0].part[p], a, b);
    } else {
        return __builtin_shufflevector(s[0].part[p], s[1].part[p], a, b, a + 2 * width, b + 2 * width);
    }
}

template <int W, int Slot>
FFT_INLINE cvec<W> pick(const v4* s) {
    constexpr int a = 2 * Slot, b = 2 * Slot + 1;
    if constexpr (W == 1) {
        return __builtin_shufflevector(s[0], s[0], a, b);
    } else if constexpr (W == 2) {
        return __builtin_shufflevector(s[0], s[1], a, b, a + 8, b + 8);
    } else {
        const v4 lo = __builtin_shufflevector(s[0], s[1], a, b, a + 8, b + 8, a, b, a + 8, b + 8);
        const v4 hi = __builtin_shufflevector(s[2], s[3], a, b, a + 8, b + 8, a, b, a + 8, b + 8);
        return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 8, 9, 10, 11);
    }
}

// ---------------------------------------------------------------- plain stage

// The factors of a stage at k and k+1 in one recurrence; each step moves
// both one index on. Pack lays out the factors of one index, all derived
// from w = e^{i k step}, and the matching recurrence step.
template <class V, class Pack>
struct stage_factors {
    recurrence<V> r;
    double cos_step, sin_step, step;

    FFT_INLINE void set(unit w) { r.set(Pack::pack(w), Pack::pack(rotate(w, cos_step, sin_step))); }

    FFT_INLINE void seed(int32_t k) {
        double s, c;
        sincos1(static_cast<double>(k) * step, &s, &c);
        set(unit{c, s});
    }

    FFT_INLINE explicit stage_factors(double step_angle) : step(step_angle) {
        sincos1(step, &sin_step, &cos_step);
        set(unit{cos_step, sin_step});
        const double t1 = 2.0 * sin_step;
        const double t3 = 2.0 * triple(unit{cos_step, sin_step}).im;
        r.set_step(Pack::step(t1, t3));
    }

    FFT_INLINE state_of<V> next() { return r.next(); }
};

// (w^k, w^{3k}).
struct plain_pack {
    FFT_INLINE static v2 pack(unit w) {
        const unit w3 = triple(w);
        return v2{w.re, w.im, w3.re, w3.im};
    }
    FFT_INLINE static v2 step(double t1, double t3) { return v2{-t1, t1, -t3, t3}; }
};
using plain_factors = stage_factors<v2, plain_pack>;

// With ZeroUpper the values of the upper two quarters are zero and are not
// read: the butterfly adds and subtracts zeros exactly as if they had been
// loaded (a forward stage loads +0 unchanged).
template <class V, bool Conj, bool ZeroUpper = false, bool N1, bool N3>
FFT_INLINE void plain_at(double* p, int32_t qd, twiddle<V, N1> w1, twiddle<V, N3> w3) {
    static_assert(!(Conj && ZeroUpper), "a conjugating stage would load the zeros as (0, -0)");
    V y0 = load<V, Conj>(p), y1 = load<V, Conj>(p + qd);
    V y2 = ZeroUpper ? V{} : load<V, Conj>(p + 2 * qd);
    V y3 = ZeroUpper ? V{} : load<V, Conj>(p + 3 * qd);
    butterfly_plain(y0, y1, y2, y3, w1, w3);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

// With ZeroUpper, y2 = (upper0, 0) and y3 = 0 are not read.
template <bool Conj, bool ZeroUpper = false>
FFT_INLINE void plain_at0(double* p, int32_t qd, double upper0 = 0.0) {
    v1 y0 = load<v1, Conj>(p), y1 = load<v1, Conj>(p + qd);
    v1 y2 = ZeroUpper ? v1{upper0, 0.0} : load<v1, Conj>(p + 2 * qd);
    v1 y3 = ZeroUpper ? v1{} : load<v1, Conj>(p + 3 * qd);
    butterfly_plain0(y0, y1, y2, y3);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

// Last front index of the span that k lies in.
FFT_INLINE int32_t span_last(int32_t k) {
    return k - 1 + reseed_span - ((k - 1) & (reseed_span - 1));
}

// Front indices a step of the stages' walks. Twice the width took 1 %
// longer in the plain stage and 6 % in the odd one (AVX2, AMD EPYC of
// family 25).
constexpr int stage_group = width < 2 ? 2 : width;

// With vectors of up to two complex values, a stage over a block of 2^18
// doubles or more (2 MiB, beyond L2) asks for its lines 2 KiB ahead of the
// walk in each stream it reads, the quarters' fronts going up and their
// mirrors going down, which the hardware alone kept behind: whole transforms
// of 2^21 doubles took 2 to 3 % less time with AVX2 and 5 % less on the
// baseline (AMD EPYC); whole AVX2 runs read 0.97 to 1.01 of their time,
// within the machine's noise. With AVX-512 whole runs took no less, so its
// stages go without. Hints only, so the addresses may lie outside the block.
// 4 KiB ahead took 3 % longer on an AMD EPYC of family 25, 1 KiB the same.
constexpr bool stages_fetch = width <= 2;
constexpr int32_t fetch_quarter = 1 << 16;  // doubles per quarter, from here on
constexpr int32_t fetch_ahead_doubles = 256;

FFT_INLINE bool stage_fetches(int32_t qd) { return stages_fetch && qd >= fetch_quarter; }

template <int Quarters>
FFT_INLINE void fetch_ahead(const double* d, int32_t q, int32_t qd, int32_t k) {
    const double* front = d + 2 * k + fetch_ahead_doubles;
    const double* mirror = d + 2 * (q - k) - fetch_ahead_doubles;
    for (int i = 0; i < Quarters; ++i) {
        __builtin_prefetch(front + i * qd, 1, 3);
        __builtin_prefetch(mirror + i * qd, 1, 3);
    }
}

// Front indices k .. k+G-1 and their mirrors Q-k-G+1 .. Q-k, in vectors of W,
// for as long as whole groups fit before the middle; smaller groups take the
// rest. Spans start at k = 1 mod 64, so only the first index of a group can
// start one. The inner loop stays within a span and makes no call, so that
// the recurrence state stays in registers; it is one local for the whole
// walk, because copying it out and back at every span went through memory
// in pieces of different widths, and the reload stalled on the stores.
template <int G, bool Conj, bool ZeroUpper>
FFT_INLINE int32_t plain_fronts(double* d, int32_t q, int32_t qd, int32_t half, int32_t k,
                                plain_factors& f) {
    constexpr int W = G < width ? G : width;
    typedef cvec<W> V;
    plain_factors g = f;
    const bool fetch = stage_fetches(qd);
    while (k + G - 1 <= half - 2) {
        if (starts_span(k)) g.seed(k);
        const int32_t last = span_last(k) < half - 2 ? span_last(k) : half - 2;
        for (; k + G - 1 <= last; k += G) {
            if (fetch) fetch_ahead<ZeroUpper ? 2 : 4>(d, q, qd, k);
            state_of<v2> s[G];
            for (int j = 0; j < G; ++j) s[j] = g.next();
            for (int j = 0; j < G; j += W) {
                const V w1 = pick<W, 0>(s + j), w3 = pick<W, 1>(s + j);
                plain_at<V, Conj, ZeroUpper>(d + 2 * (k + j), qd, to_twiddle(w1), to_twiddle(w3));
                plain_at<V, Conj, ZeroUpper>(d + 2 * (q - k - j - W + 1), qd, mirror_i(w1),
                                             mirror_neg_i(w3));
            }
        }
    }
    f = g;
    if constexpr (G > 2) {
        return plain_fronts<G / 2, Conj, ZeroUpper>(d, q, qd, half, k, f);
    } else {
        return k;
    }
}

// Index k and its mirror Q-k share the factors: w^{Q-k} = i conj(w^k).
// With ZeroUpper the upper half of the block is taken as zero but for the
// real part upper0 of its first value, and is written without being read.
template <bool Conj, bool ZeroUpper = false>
FFT_INLINE void stage_plain_impl(int32_t n, double* d, double upper0 = 0.0) {
    const int32_t q = n / 8;   // complex values per quarter
    const int32_t qd = n / 4;  // doubles per quarter
    const int32_t half = q / 2;
    plain_at0<Conj, ZeroUpper>(d, qd, upper0);
    plain_factors f(2.0 * two_pi / static_cast<double>(n));
    const int32_t k = plain_fronts<stage_group, Conj, ZeroUpper>(d, q, qd, half, 1, f);
    // k = half - 1, its mirror half + 1, and half itself, whose factor is the
    // eighth turn with the recurrence's value standing in for sqrt(1/2).
    const v1 w1 = pick<1, 0>(&f.r.x), w3 = pick<1, 1>(&f.r.x);
    plain_at<v1, Conj, ZeroUpper>(d + 2 * k, qd, to_twiddle(w1), to_twiddle(w3));
    plain_at<v1, Conj, ZeroUpper>(d + 2 * (q - k), qd, mirror_i(w1), mirror_neg_i(w3));
    const double r = first_lane(f.r.y);
    plain_at<v1, Conj, ZeroUpper>(d + 2 * half, qd, make_twiddle<v1>(r, r), make_twiddle<v1>(-r, r));
}

// ------------------------------------------------------------------ odd stage

// (a, b, c, d) with a = w^{k/2}, b = e^{i pi/4} a, c = w^{3k/2},
// d = e^{3i pi/4} c.
struct odd_pack {
    FFT_INLINE static v4 pack(unit a) {
        const unit c = triple(a), b = eighth(a), e = three_eighths(c);
        return v4{a.re, a.im, b.re, b.im, c.re, c.im, e.re, e.im};
    }
    FFT_INLINE static v4 step(double t1, double t3) { return v4{-t1, t1, -t1, t1, -t3, t3, -t3, t3}; }
};
using odd_factors = stage_factors<v4, odd_pack>;

template <class V, bool NA, bool NB, bool NC, bool ND>
FFT_INLINE void odd_at(double* p, int32_t qd, twiddle<V, NA> a, twiddle<V, NB> b, twiddle<V, NC> c,
                       twiddle<V, ND> dd) {
    V y0 = load<V>(p), y1 = load<V>(p + qd), y2 = load<V>(p + 2 * qd), y3 = load<V>(p + 3 * qd);
    butterfly_odd(y0, y1, y2, y3, a, b, c, dd);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

FFT_INLINE void odd_at0(double* p, int32_t qd) {
    v1 y0 = load<v1>(p), y1 = load<v1>(p + qd), y2 = load<v1>(p + 2 * qd), y3 = load<v1>(p + 3 * qd);
    butterfly_odd0(y0, y1, y2, y3);
    store(p, y0);
    store(p + qd, y1);
    store(p + 2 * qd, y2);
    store(p + 3 * qd, y3);
}

// Butterflies at W consecutive front indices from the factors s[0..W-1], and
// at their mirrors: with w^{Q/2} = e^{i pi/4}, the factors of the mirror Q-k
// are a' = i conj(b), b' = i conj(a), c' = -i conj(d), d' = -i conj(c).
template <int W, class S>
FFT_INLINE void odd_pair_at(double* front, double* mirror, int32_t qd, const S* s) {
    typedef cvec<W> V;
    const V a = pick<W, 0>(s), b = pick<W, 1>(s), c = pick<W, 2>(s), e = pick<W, 3>(s);
    odd_at(front, qd, to_twiddle(a), to_twiddle(b), to_twiddle(c), to_twiddle(e));
    odd_at(mirror, qd, mirror_i(b), mirror_i(a), mirror_neg_i(e), mirror_neg_i(c));
}

template <int G>
FFT_INLINE int32_t odd_fronts(double* d, int32_t q, int32_t qd, int32_t half, int32_t k,
                              odd_factors& f) {
    constexpr int W = G < width ? G : width;
    odd_factors g = f;
    const bool fetch = stage_fetches(qd);
    while (k + G - 1 <= half - 2) {
        if (starts_span(k)) g.seed(k);
        const int32_t last = span_last(k) < half - 2 ? span_last(k) : half - 2;
        for (; k + G - 1 <= last; k += G) {
            if (fetch) fetch_ahead<4>(d, q, qd, k);
            state_of<v4> s[G];
            for (int j = 0; j < G; ++j) s[j] = g.next();
            for (int j = 0; j < G; j += W) {
                odd_pair_at<W>(d + 2 * (k + j), d + 2 * (q - k - j - W + 1), qd, s + j);
            }
        }
    }
    f = g;
    if constexpr (G > 2) {
        return odd_fronts<G / 2>(d, q, qd, half, k, f);
    } else {
        return k;
    }
}

FFT_INLINE void stage_odd_impl(int32_t n, double* d) {
    const int32_t q = n / 8;
    const int32_t qd = n / 4;
    const int32_t half = q / 2;
    odd_at0(d, qd);
    odd_factors f(two_pi / static_cast<double>(n));
    const int32_t k = odd_fronts<stage_group>(d, q, qd, half, 1, f);
    odd_pair_at<1>(d + 2 * k, d + 2 * (q - k), qd, &f.r.x);
    const auto* y = &f.r.y;
    const v1 a = pick<1, 0>(y), b = pick<1, 1>(y), c = pick<1, 2>(y), e = pick<1, 3>(y);
    odd_at(d + 2 * half, qd, to_twiddle(a), to_twiddle(b), to_twiddle(c), to_twiddle(e));
}

// ------------------------------------------------------------------- leaves

// W x W transpose of complex values: rows[r] lane c <-> rows[c] lane r.
FFT_INLINE void transpose(v1*) {}

FFT_INLINE void transpose(v2* r) {
    const v2 a = r[0], b = r[1];
    r[0] = __builtin_shufflevector(a, b, 0, 1, 4, 5);
    r[1] = __builtin_shufflevector(a, b, 2, 3, 6, 7);
}

FFT_INLINE void transpose(v4* r) {
    const v4 t0 = __builtin_shufflevector(r[0], r[1], 0, 1, 8, 9, 4, 5, 12, 13);
    const v4 t1 = __builtin_shufflevector(r[0], r[1], 2, 3, 10, 11, 6, 7, 14, 15);
    const v4 t2 = __builtin_shufflevector(r[2], r[3], 0, 1, 8, 9, 4, 5, 12, 13);
    const v4 t3 = __builtin_shufflevector(r[2], r[3], 2, 3, 10, 11, 6, 7, 14, 15);
    r[0] = __builtin_shufflevector(t0, t2, 0, 1, 2, 3, 8, 9, 10, 11);
    r[1] = __builtin_shufflevector(t1, t3, 0, 1, 2, 3, 8, 9, 10, 11);
    r[2] = __builtin_shufflevector(t0, t2, 4, 5, 6, 7, 12, 13, 14, 15);
    r[3] = __builtin_shufflevector(t1, t3, 4, 5, 6, 7, 12, 13, 14, 15);
}

// Values c .. c+w-1 of w blocks (w = lanes per vector), value c + j of
// block l in lane l of v[j], and back. With AVX2, storing the halves as
// 16-byte moves (the upper ones by vextracti128) took 1 % longer than the
// transpose, and loading them by broadcasts and blends 2 % longer
// (transforms of 2^21 doubles, AMD EPYC of family 25).
template <class V>
FFT_INLINE void load_chunk(const double* base, int32_t stride, int c, V* v) {
    constexpr int w = lanes<V> / 2;
    for (int l = 0; l < w; ++l) v[l] = load<V>(base + l * stride + 2 * c);
    transpose(v);
}

template <class V>
FFT_INLINE void store_chunk(double* base, int32_t stride, int c, V* v) {
    constexpr int w = lanes<V> / 2;
    transpose(v);
    for (int l = 0; l < w; ++l) store(base + l * stride + 2 * c, v[l]);
}

// Value j of block l (blocks stride doubles apart) lands in lane l of v[j].
template <class V, int Count>
FFT_INLINE void load_blocks(const double* base, int32_t stride, V* v) {
    for (int c = 0; c < Count; c += lanes<V> / 2) load_chunk(base, stride, c, v + c);
}

template <class V, int Count>
FFT_INLINE void store_blocks(double* base, int32_t stride, V* v) {
    for (int c = 0; c < Count; c += lanes<V> / 2) store_chunk(base, stride, c, v + c);
}

// Lanes whose bit is set in Odd take b, the others a.
template <unsigned Odd, class V, std::size_t... J>
FFT_INLINE V select_impl(V a, V b, std::index_sequence<J...>) {
    constexpr std::size_t n = sizeof...(J);
    return __builtin_shufflevector(a, b, (((Odd >> (J / 2)) & 1u) ? J + n : J)...);
}

// The first-level butterflies C .. C+w-1 of the 16-point kernels on w
// blocks, their results into t.
template <class V, bool Odd, int C, std::size_t... L>
FFT_INLINE void first_sweep_chunk(const double* base, int32_t stride, V* t, std::index_sequence<L...>) {
    constexpr int w = lanes<V> / 2;
    V y[4][w];  // y[r][l]: value C + l + 4r
    for (int r = 0; r < 4; ++r) load_chunk(base, stride, C + 4 * r, y[r]);
    (first_level16<C + static_cast<int>(L), Odd>(y[0][L], y[1][L], y[2][L], y[3][L]), ...);
    for (int r = 0; r < 4; ++r) {
        for (int l = 0; l < w; ++l) t[C + l + 4 * r] = y[r][l];
    }
}

template <class V, bool Odd, std::size_t... C>
FFT_INLINE void first_sweep(const double* base, int32_t stride, V* t, std::index_sequence<C...>) {
    constexpr int w = lanes<V> / 2;
    (first_sweep_chunk<V, Odd, static_cast<int>(C) * w>(base, stride, t, std::make_index_sequence<w>{}), ...);
}

// The 16-point kernels (core16, core16_odd) on w blocks in two sweeps: the
// first level's butterflies w at a time, as the loads bring their values in,
// then the four-point transforms one at a time. Sixteen vectors do not fit
// in sixteen registers with the temporaries of a level, and the compiler's
// own spills of the whole kernel cost more than these stores of its middle.
// The same operations on every value as core16 and core16_odd.
template <class V, bool Odd>
FFT_INLINE void kernel16_swept(double* base, int32_t stride) {
    constexpr int w = lanes<V> / 2;
    V t[16];
    first_sweep<V, Odd>(base, stride, t, std::make_index_sequence<4 / w>{});
    for (int g = 0; g < 4; ++g) {
        second_level16<Odd>(g, t);
        for (int c = 0; c < 4; c += w) store_chunk(base, stride, 4 * g + c, t + 4 * g + c);
    }
}

// Kernels of one sub-block from each of W quarters, lane l holding quarter l;
// bit l of Odd marks the lanes whose sub-block is odd.
template <class V, int Count, unsigned Odd>
FFT_INLINE void kernel_lanes(double* base, int32_t stride) {
    constexpr unsigned all = (1u << (lanes<V> / 2)) - 1;
    if constexpr (Count == 16 && vector_registers < 32 && (Odd == 0 || Odd == all)) {
        kernel16_swept<V, Odd != 0>(base, stride);
    } else {
        V v[Count];
        load_blocks<V, Count>(base, stride, v);
        if constexpr (Odd == 0) {
            if constexpr (Count == 8) core8(v); else core16(v);
        } else if constexpr (Odd == all) {
            if constexpr (Count == 8) core8_odd(v); else core16_odd(v);
        } else {
            V u[Count];
            for (int j = 0; j < Count; ++j) u[j] = v[j];
            if constexpr (Count == 8) {
                core8(v);
                core8_odd(u);
            } else {
                core16(v);
                core16_odd(u);
            }
            for (int j = 0; j < Count; ++j) v[j] = select_impl<Odd>(v[j], u[j], lane_seq<V>{});
        }
        store_blocks<V, Count>(base, stride, v);
    }
}

// kernel_lanes, but a vector of two lanes of different kinds goes through
// each kernel one lane at a time: the same operations on each lane, without
// running both kernels on both lanes and the registers that takes.
template <class V, int Count, unsigned Odd>
FFT_INLINE void kernel_group(double* base, int32_t stride) {
    constexpr unsigned all = (1u << (lanes<V> / 2)) - 1;
    if constexpr (lanes<V> == 4 && Odd != 0 && Odd != all) {
        kernel_lanes<cvec<1>, Count, Odd & 1u>(base, stride);
        kernel_lanes<cvec<1>, Count, (Odd >> 1) & 1u>(base + stride, stride);
    } else {
        kernel_lanes<V, Count, Odd>(base, stride);
    }
}

// The first quarter of lane group G in a leaf walk with W lanes.
template <std::size_t G, int W>
constexpr int first_quarter() {
    return W == 2 ? static_cast<int>(G) : static_cast<int>(G) * W;
}

// Bit l set when quarter First + l * Spread is odd.
template <unsigned OddQuarters, int First, int Spread, int W>
constexpr unsigned lane_kinds() {
    unsigned bits = 0;
    for (int l = 0; l < W; ++l) bits |= ((OddQuarters >> (First + l * Spread)) & 1u) << l;
    return bits;
}

// The kernels of a leaf walk, across quarters, one sub-block position at a
// time: plain, odd, plain, and the quarter's own kind (bit q of OddQuarters
// marks odd quarters).
template <int32_t M, unsigned OddQuarters, std::size_t... G>
FFT_INLINE void leaf_kernels(double* d, std::index_sequence<G...>) {
    constexpr int count = M / 8;  // complex values per sub-block
    constexpr int32_t sub = M / 4;
    constexpr int w = width;
    typedef cvec<w> V;
    constexpr unsigned all = (1u << w) - 1;
    // With two lanes, quarters 0 and 2 share a vector, and so do 1 and 3:
    // those are of one kind in the odd walk, so that no vector there mixes
    // the kinds of its last sub-block.
    constexpr int spread = w == 2 ? 2 : 1;
    ((kernel_group<V, count, 0>(d + first_quarter<G, w>() * M, spread * M),
      kernel_group<V, count, all>(d + first_quarter<G, w>() * M + sub, spread * M),
      kernel_group<V, count, 0>(d + first_quarter<G, w>() * M + 2 * sub, spread * M),
      kernel_group<V, count, lane_kinds<OddQuarters, first_quarter<G, w>(), spread, w>()>(
          d + first_quarter<G, w>() * M + 3 * sub, spread * M)),
     ...);
}

// With 16 registers the kernels are kept out of line: inlined into the walk
// with the quarters' stages, the transform took 4 % longer on AVX2 and 13 %
// on the baseline (AMD EPYC). With 32 the compiler's choice stays.
template <int32_t M, unsigned OddQuarters, std::size_t... G>
__attribute__((noinline)) void leaf_kernels_apart(double* d, std::index_sequence<G...> quarters) {
    leaf_kernels<M, OddQuarters>(d, quarters);
}

// A leaf of 4M doubles whose stage has run: each quarter of M = 64 or 128
// doubles gets the stage of its kind, then the quarters' four sub-blocks go
// through the kernels of their kinds.
template <int32_t M, unsigned OddQuarters>
FFT_INLINE void leaf_walk(double* d) {
    for (int qi = 0; qi < 4; ++qi) {
        if ((OddQuarters >> qi) & 1u) {
            stage_odd_impl(M, d + qi * M);
        } else {
            stage_plain_impl<false>(M, d + qi * M);
        }
    }
    if constexpr (vector_registers < 32) {
        leaf_kernels_apart<M, OddQuarters>(d, std::make_index_sequence<4 / width>{});
    } else {
        leaf_kernels<M, OddQuarters>(d, std::make_index_sequence<4 / width>{});
    }
}

template <int32_t M>
void leaf_plain_walk(double* d) {
    leaf_walk<M, 0b0010u>(d);
}

template <int32_t M>
void leaf_odd_walk(double* d) {
    leaf_walk<M, 0b1010u>(d);
}

void leaf_plain(int32_t n, double* data) {
    if (n == 256) {
        leaf_plain_walk<64>(data);
    } else {
        leaf_plain_walk<128>(data);
    }
}

void leaf_odd(int32_t n, double* data) {
    if (n == 256) {
        leaf_odd_walk<64>(data);
    } else {
        leaf_odd_walk<128>(data);
    }
}

void leaf_small(int32_t n, double* data) {
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

// --------------------------------------------------------------- recursion

void recurse_odd(int32_t n, double* data);

// Blocks of 512 and 256 doubles run their stage with the length known at
// compile time, so that its setup folds to constants. Each quarter runs its
// own stage, although its plain siblings take the same factors. One walk
// over the siblings together took 1.1 to 1.2 times as long for quarters of
// 2^11 doubles and more, likely because twelve of its streams then share
// one offset modulo 4 KiB, more than L1's eight ways; at 512 doubles and in
// the leaf walks it saved nothing measurable (AMD EPYC of family 25, AVX2).
void recurse_plain(int32_t n, double* data) {
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
    recurse_plain(m, data);
    recurse_odd(m, data + m);
    recurse_plain(m, data + 2 * m);
    recurse_plain(m, data + 3 * m);
}

void recurse_odd(int32_t n, double* data) {
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
    recurse_plain(m, data);
    recurse_odd(m, data + m);
    recurse_plain(m, data + 2 * m);
    recurse_odd(m, data + 3 * m);
}

// ------------------------------------------------------------ bit reversal

constexpr std::size_t reverse_bits(std::size_t j, int bits) {
    std::size_t r = 0;
    for (int b = 0; b < bits; ++b) r |= ((j >> b) & 1u) << (bits - 1 - b);
    return r;
}

template <bool Conj>
FFT_INLINE void exchange(double* data, std::size_t a, std::size_t b) {
    double* pa = data + 2 * a;
    double* pb = data + 2 * b;
    const double re = pa[0], im = pa[1];
    pa[0] = pb[0];
    pa[1] = Conj ? -pb[1] : pb[1];
    pb[0] = re;
    pb[1] = Conj ? -im : im;
}

// Turns r = rev(j) into rev(j + 1), top being the highest bit of the index
// range: toggle the top bit and carry downwards while it turns to 0. Wraps to
// 0 after the last index.
FFT_INLINE uint32_t reversed_increment(uint32_t r, uint32_t top) {
    uint32_t b = top;
    r ^= b;
    while ((r & b) == 0 && b > 1) {
        b >>= 1;
        r ^= b;
    }
    return r;
}

template <bool Conj>
void bit_reverse_simple(uint32_t count, double* data) {
    uint32_t r = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (k < r) {
            exchange<Conj>(data, k, r);
        } else if (Conj && k == r) {
            data[2 * k + 1] = -data[2 * k + 1];
        }
        if (k + 1 < count) r = reversed_increment(r, count / 2);
    }
}

// Tiles of 2^B by 2^B values through a buffer: index k is (hi, mid, lo) with
// B bits in hi and lo, and rev(k) = (rev lo, rev mid, rev hi), so the tile of
// rows (*, mid, *) and the tile (*, rev mid, *) exchange their values as a
// bit-reversed transpose. The partner is read row by row into its buffer;
// then each row of the tile is read into the other buffer and at once
// written from the partner's. Every line of the array is read once and
// written once, each time as part of a whole row, however badly rows a
// power of two apart share the cache sets. A tile with mid = rev(mid) is its
// own partner.
template <int B>
struct tile_buffer {
    static constexpr uint32_t side = 1u << B;
    double values[2 * side * side];

    // Rows are copied by unrolled vector moves: as a memcpy, or as a loop
    // the compiler turned back into one, they became `rep movsq` on AVX2 and
    // on the baseline, which took most of the permutation's time.
    template <std::size_t... J>
    FFT_INLINE static void copy_row(double* to, const double* from, std::index_sequence<J...>) {
        typedef cvec<width> V;
        (store(to + J * lanes<V>, load<V>(from + J * lanes<V>)), ...);
    }

    FFT_INLINE void read_row(const double* row, uint32_t h) {
        constexpr std::size_t moves = 2 * side / lanes<cvec<width>>;
        copy_row(values + 2 * side * h, row, std::make_index_sequence<moves>{});
    }

    FFT_INLINE void read(const double* at, std::size_t stride) {
        for (uint32_t h = 0; h < side; ++h) read_row(at + h * stride, h);
    }

    // Row h of the other tile gets value (rev l, rev h) of this one at l.
    template <bool Conj, std::size_t... L>
    FFT_INLINE void write_row(double* row, uint32_t rh, std::index_sequence<L...>) const {
        if constexpr (per_move == 2) {
            (move_pair<Conj>(row + 4 * L, value(2 * L, rh), value(2 * L + 1, rh)), ...);
        } else {
            (move_value<Conj>(row + 2 * L, value(L, rh)), ...);
        }
    }

    FFT_INLINE const double* value(std::size_t l, uint32_t rh) const {
        return values + 2 * (side * reverse_bits(l, B) + rh);
    }

    // With AVX2 the values l and l + 1 of a row go out in one 32-byte store:
    // one store per value bound the moves on an AMD EPYC of family 25, where
    // whole transforms of 2^21 doubles then took 1 to 2 % less time. The
    // barrier stays from the moves of one value, where without it GCC hoisted
    // the loads above the stores, ran out of its 16 registers and spilled
    // half of them, and the permutation took 1.1 to 1.3 times as long.
    // Writing rows h and h + side/2 together, both rows' pairs from one
    // 32-byte load per buffer row and an exchange of halves, took no less.
    static constexpr uint32_t per_move = width == 2 ? 2 : 1;

    template <bool Conj>
    FFT_INLINE static void move_pair(double* to, const double* first, const double* second) {
        const v1 a = load<v1>(first), b = load<v1>(second);
        store<v2, Conj>(to, __builtin_shufflevector(a, b, 0, 1, 2, 3));
        asm volatile("" ::: "memory");
    }

    template <bool Conj>
    FFT_INLINE static void move_value(double* to, const double* from) {
        store<v1, Conj>(to, load<v1>(from));
    }

    // Also asks for row h of the tile at ahead (if any) as it writes row h.
    // With save, each row is first read into save, right before it is
    // written, while its lines are in L1. Read in a pass of their own, the
    // rows' lines had left L2 by their write (the rows of both tiles share
    // the same few sets) and were fetched again: whole transforms of 2^21
    // doubles took 1.5 to 4 % less time this way on every path (AMD EPYC).
    // Asking also for the rows a few ahead that a pass without save is about
    // to overwrite took 2 % longer (family 25, AVX2); the two buffers
    // already fill its L1.
    template <bool Conj>
    FFT_INLINE void write(double* at, std::size_t stride, const double* ahead = nullptr,
                          tile_buffer* save = nullptr) const {
        uint32_t rh = 0;
        for (uint32_t h = 0; h < side; ++h) {
            if (ahead != nullptr) prefetch_row(ahead + h * stride);
            if (save != nullptr) save->read_row(at + h * stride, h);
            write_row<Conj>(at + h * stride, rh, std::make_index_sequence<side / per_move>{});
            rh = reversed_increment(rh, side / 2);
        }
    }

    // Into L2 (prefetcht1): the buffers fill much of L1.
    FFT_INLINE static void prefetch_row(const double* row) {
        for (uint32_t l = 0; l < 2 * side; l += 8) __builtin_prefetch(row + l, 0, 2);
    }

    FFT_INLINE static void prefetch(const double* at, std::size_t stride) {
        for (uint32_t h = 0; h < side; ++h) prefetch_row(at + h * stride);
    }
};

// The tiles that take part, in the order they are handled: (mid, rmid) with
// mid <= rmid = rev(mid), mid ascending.
struct tile_pairs {
    uint32_t mid = 0, rmid = 0, mids;

    explicit tile_pairs(uint32_t m) : mids(m) {}
    bool done() const { return mid >= mids; }
    void next() {
        do {
            ++mid;
            rmid = reversed_increment(rmid, mids / 2);
        } while (mid < mids && mid > rmid);
    }
};

template <int B, bool Conj>
void bit_reverse_buffered(uint32_t count, double* data) {
    const int bits = __builtin_ctz(count);
    const std::size_t stride = std::size_t{2} << (bits - B);
    const uint32_t mids = 1u << (bits - 2 * B);
    auto tile = [data](uint32_t m) { return data + 2 * (std::size_t{m} << B); };
    // The next pair's rows are fetched while this pair's are written, one
    // row of each per row written: the partner tiles lie at bit-reversed
    // places that no hardware prefetcher foresees. That took 15 to 30 % off
    // the permutation of 2^21 doubles (AMD EPYC); the whole pair fetched at
    // once before the moves gained half as much (the prefetches queue up),
    // two pairs ahead or into L1 no more.
    tile_buffer<B> own, partner;
    tile_pairs ahead(mids);
    ahead.next();
    for (tile_pairs at(mids); !at.done(); at.next()) {
        const double* next_own = nullptr;
        const double* next_partner = nullptr;
        if (B >= 5 && !ahead.done()) {  // smaller arrays stay in cache
            next_own = tile(ahead.mid);
            if (ahead.rmid != ahead.mid) next_partner = tile(ahead.rmid);
            ahead.next();
        }
        double* here = tile(at.mid);
        if (at.mid < at.rmid) {
            double* other = tile(at.rmid);
            partner.read(other, stride);
            partner.template write<Conj>(here, stride, next_own, &own);
            own.template write<Conj>(other, stride, next_partner);
        } else {
            own.read(here, stride);
            own.template write<Conj>(here, stride, next_own);
            if (next_partner != nullptr) tile_buffer<B>::prefetch(next_partner, stride);
        }
    }
}

// Tiles of 32 x 32 for large arrays, where whole rows keep lines of the
// array from being fetched twice; tiles of 8 x 8 below 4096 doubles, where
// the array is small enough to stay in cache; value by value below 128.
template <bool Conj>
void bit_reverse_impl(int32_t n, double* data) {
    const uint32_t count = static_cast<uint32_t>(n / 2);
    if (count >= 2048) {
        bit_reverse_buffered<5, Conj>(count, data);
    } else if (count >= 128) {
        bit_reverse_buffered<3, Conj>(count, data);
    } else {
        bit_reverse_simple<Conj>(count, data);
    }
}

// ------------------------------------------------------------------- entry

// Stores the bit-reversed output of an in-register kernel in natural order.
template <bool Conj, int Bits, std::size_t... J>
FFT_INLINE void store_natural(double* data, const v1* v, std::index_sequence<J...>) {
    (store<v1, Conj>(data + 2 * J, v[reverse_bits(J, Bits)]), ...);
}

// 4-point transform in natural order; backward turns +i into -i.
template <bool Backward>
void direct4(double* data) {
    const v1 z0 = load<v1>(data), z1 = load<v1>(data + 2);
    const v1 z2 = load<v1>(data + 4), z3 = load<v1>(data + 6);
    const v1 s02 = z0 + z2, d02 = z0 - z2, s13 = z1 + z3, d13 = z1 - z3;
    store(data, s02 + s13);
    store(data + 4, s02 - s13);
    store(data + 2, Backward ? sub_i(d02, d13) : add_i(d02, d13));
    store(data + 6, Backward ? add_i(d02, d13) : sub_i(d02, d13));
}

template <bool Backward>
void direct8(double* data) {
    v1 v[8];
    load_all<8, Backward>(data, v);
    core8(v);
    store_natural<Backward, 3>(data, v, std::make_index_sequence<8>{});
}

template <bool Backward>
void direct16(double* data) {
    v1 v[16];
    load_all<16, Backward>(data, v);
    core16(v);
    store_natural<Backward, 4>(data, v, std::make_index_sequence<16>{});
}

// The general path after its first stage: the quarters, then the
// permutation to natural order.
void after_first_stage(int32_t n, bool backward, double* data) {
    const int32_t m = n / 4;
    if (n >= 513) {
        recurse_plain(m, data);
        recurse_odd(m, data + m);
        recurse_plain(m, data + 2 * m);
        recurse_plain(m, data + 3 * m);
    } else if (n >= 132) {
        leaf_plain(n, data);
    } else {
        leaf_small(n, data);
    }
    if (backward) {
        bit_reverse_impl<true>(n, data);
    } else {
        bit_reverse_impl<false>(n, data);
    }
}

void complex_transform(int32_t n, int32_t direction, double* data) {
    if (n < 4 || (n & (n - 1)) != 0) return;
    const bool backward = direction < 0;
    if (n == 4) {
        const v1 z0 = load<v1>(data), z1 = load<v1>(data + 2);
        store(data, z0 + z1);
        store(data + 2, z0 - z1);
        return;
    }
    if (n == 8) {
        backward ? direct4<true>(data) : direct4<false>(data);
        return;
    }
    if (n == 16) {
        backward ? direct8<true>(data) : direct8<false>(data);
        return;
    }
    if (n == 32) {
        backward ? direct16<true>(data) : direct16<false>(data);
        return;
    }
    if (backward) {
        stage_plain_impl<true>(n, data);
    } else {
        stage_plain_impl<false>(n, data);
    }
    after_first_stage(n, backward, data);
}

// fft_complex(n, 1, data) where data[used ..] are zero and not yet written:
// the first stage reads only the lower half.
void forward_zero_tail(int32_t n, int32_t used, double* data) {
    if (used < 0) used = 0;
    if (n < 64 || used > n / 2 + 1 || (n & (n - 1)) != 0) {
        if (used < n) std::memset(data + used, 0, static_cast<std::size_t>(n - used) * sizeof(double));
        complex_transform(n, 1, data);
        return;
    }
    if (used < n / 2) std::memset(data + used, 0, static_cast<std::size_t>(n / 2 - used) * sizeof(double));
    stage_plain_impl<false, true>(n, data, used > n / 2 ? data[n / 2] : 0.0);
    after_first_stage(n, false, data);
}

void stage_plain(int32_t n, double* data) { stage_plain_impl<false>(n, data); }
void stage_plain_conj(int32_t n, double* data) { stage_plain_impl<true>(n, data); }
void stage_odd(int32_t n, double* data) { stage_odd_impl(n, data); }
void kernel8_entry(double* data) { kernel8(data); }
void kernel8_odd_entry(double* data) { kernel8_odd(data); }
void kernel16_entry(double* data) { kernel16(data); }
void kernel16_odd_entry(double* data) { kernel16_odd(data); }
void bit_reverse(int32_t n, double* data) { bit_reverse_impl<false>(n, data); }
void bit_reverse_conj(int32_t n, double* data) { bit_reverse_impl<true>(n, data); }

}  // namespace FFT_ISA_NS

extern const fft_isa_ops FFT_ISA_OPS = {
    FFT_ISA_NS::complex_transform, FFT_ISA_NS::stage_plain,       FFT_ISA_NS::stage_plain_conj,
    FFT_ISA_NS::stage_odd,         FFT_ISA_NS::recurse_plain,     FFT_ISA_NS::recurse_odd,
    FFT_ISA_NS::leaf_plain,        FFT_ISA_NS::leaf_odd,          FFT_ISA_NS::leaf_small,
    FFT_ISA_NS::kernel8_entry,     FFT_ISA_NS::kernel8_odd_entry, FFT_ISA_NS::kernel16_entry,
    FFT_ISA_NS::kernel16_odd_entry, FFT_ISA_NS::bit_reverse,      FFT_ISA_NS::bit_reverse_conj,
    FFT_ISA_NS::forward_zero_tail,
};
