// Building blocks of the spectrum kernels: complex values of a transform
// array, the split and merge steps of one pair, and the pair walk with its
// twiddles. Internal to the engine.
#pragma once

#include <cstdint>
#include <utility>

#include "engine/word_vectors.h"
#include "fft/fft_math.h"
#include "fft/fft_split_twiddle.h"

struct Complex {
    double re;
    double im;
};

inline Complex spectrum_load(const double* data, int32_t k) { return {data[2 * k], data[2 * k + 1]}; }

inline void spectrum_store(double* data, int32_t k, Complex v) {
    data[2 * k] = v.re;
    data[2 * k + 1] = v.im;
}

inline Complex spectrum_mul(Complex a, Complex b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

inline Complex spectrum_add(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }

inline Complex spectrum_sqr(Complex a) { return {a.re * a.re - a.im * a.im, 2.0 * a.re * a.im}; }

// Turns the packed values Z_p, Z_q (q = N - p) into the real spectrum values
// X_p, X_q: y = (Z_p - conj(Z_q)) * w, X_p = Z_p - y, X_q = Z_q + conj(y).
inline void spectrum_split(Complex& zp, Complex& zq, double wr, double wi) {
    const double dr = zp.re - zq.re;
    const double di = zp.im + zq.im;
    const double yr = fft_fma(wr, dr, -(wi * di));
    const double yi = fft_fma(wr, di, wi * dr);
    zp.re -= yr;
    zp.im -= yi;
    zq.re += yr;
    zq.im -= yi;
}

// The exact inverse of spectrum_split: y = (P_p - conj(P_q)) * conj(w).
inline void spectrum_merge(Complex& pp, Complex& pq, double wr, double wi) {
    const double dr = pp.re - pq.re;
    const double di = pp.im + pq.im;
    const double yr = fft_fma(wr, dr, wi * di);
    const double yi = fft_fma(wr, di, -(wi * dr));
    pp.re -= yr;
    pp.im -= yi;
    pq.re += yr;
    pq.im -= yi;
}

// The product of two DC pairs (E, O) of packed spectra: X_0 = E + O and
// X_N = E - O multiply separately, which gives (E E' + O O', E O' + O E').
inline Complex spectrum_dc_mul(Complex a, Complex b) {
    return {a.re * b.re + a.im * b.im, a.im * b.re + a.re * b.im};
}

inline Complex spectrum_dc_sqr(Complex a) { return {a.re * a.re + a.im * a.im, 2.0 * a.re * a.im}; }

// The same steps on several pairs at once: T is double (one pair) or a
// vector of G doubles (G consecutive pairs), and every lane computes exactly
// what the scalar step computes for its pair.
template <int G>
struct PairVector;
template <>
struct PairVector<2> {
    typedef double type __attribute__((vector_size(16)));
};
template <>
struct PairVector<4> {
    typedef double type __attribute__((vector_size(32)));
};
template <>
struct PairVector<8> {
    typedef double type __attribute__((vector_size(64)));
};

template <class T>
struct ComplexOf {
    T re;
    T im;
};

// fft_fma on every lane: fused where fft_fma is fused, else product and sum.
template <class T>
inline T spectrum_fma(T a, T b, T c) {
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA)
    T r;
    for (int i = 0; i < static_cast<int>(sizeof(T) / sizeof(double)); ++i) r[i] = __builtin_fma(a[i], b[i], c[i]);
    return r;
#else
    return a * b + c;
#endif
}
inline double spectrum_fma(double a, double b, double c) { return fft_fma(a, b, c); }

template <class T>
inline ComplexOf<T> spectrum_mul(ComplexOf<T> a, ComplexOf<T> b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

template <class T>
inline ComplexOf<T> spectrum_add(ComplexOf<T> a, ComplexOf<T> b) {
    return {a.re + b.re, a.im + b.im};
}

template <class T>
inline ComplexOf<T> spectrum_sqr(ComplexOf<T> a) {
    return {a.re * a.re - a.im * a.im, 2.0 * a.re * a.im};
}

template <class T>
inline void spectrum_split(ComplexOf<T>& zp, ComplexOf<T>& zq, T wr, T wi) {
    const T dr = zp.re - zq.re;
    const T di = zp.im + zq.im;
    const T yr = spectrum_fma(wr, dr, -(wi * di));
    const T yi = spectrum_fma(wr, di, wi * dr);
    zp.re -= yr;
    zp.im -= yi;
    zq.re += yr;
    zq.im -= yi;
}

template <class T>
inline void spectrum_merge(ComplexOf<T>& pp, ComplexOf<T>& pq, T wr, T wi) {
    const T dr = pp.re - pq.re;
    const T di = pp.im + pq.im;
    const T yr = spectrum_fma(wr, dr, wi * di);
    const T yi = spectrum_fma(wr, di, -(wi * dr));
    pp.re -= yr;
    pp.im -= yi;
    pq.re += yr;
    pq.im -= yi;
}

// Values of pair p (lower half) and of its mirror q: for one pair the value
// itself; for 8 pairs p, p-1, .. p-7 and q, q+1, .. q+7, lane k holding
// pair p-k and mirror q+k.
inline ComplexOf<double> spectrum_load_p(const double* data, int32_t p, double) {
    return {data[2 * p], data[2 * p + 1]};
}
inline ComplexOf<double> spectrum_load_q(const double* data, int32_t q, double) {
    return {data[2 * q], data[2 * q + 1]};
}
inline void spectrum_store_p(double* data, int32_t p, ComplexOf<double> v) {
    data[2 * p] = v.re;
    data[2 * p + 1] = v.im;
}
inline void spectrum_store_q(double* data, int32_t q, ComplexOf<double> v) {
    data[2 * q] = v.re;
    data[2 * q + 1] = v.im;
}

template <class T>
inline T spectrum_loadv(const double* at) {
    T v;
    __builtin_memcpy(&v, at, sizeof v);
    return v;
}
template <class T>
inline void spectrum_storev(double* at, T v) {
    __builtin_memcpy(at, &v, sizeof v);
}

// The lanes of a group of G pairs: lane l holds pair p - o and mirror q + o,
// o = spectrum_offset<G>(l). The offsets run 0, G/2, 1, G/2 + 1, .., the
// order in which one unpack of each half of two vectors takes the mirrors'
// values out of memory, so that the mirrors' loads and stores need no
// shuffle across 128-bit halves (with AVX2, two such permutes a load and
// two a store saved). Every lane computes what it would in any order; only
// the twiddle walk and the held arrays have to agree on it, and they do.
template <int G>
constexpr int spectrum_offset(int lane) {
    return lane / 2 + (lane % 2) * (G / 2);
}
// The lane of offset o: the inverse of spectrum_offset.
template <int G>
constexpr int spectrum_lane(int offset) {
    return 2 * (offset % (G / 2)) + offset / (G / 2);
}

// The pairs p-G+1 .. p of a group, or their mirrors q .. q+G-1.
enum class SpectrumSide { pairs, mirrors };

// The offset of the pair or mirror that the j-th of the group's G values in
// memory holds (lowest address first).
template <int G, SpectrumSide S>
constexpr int spectrum_memory_offset(int j) {
    return S == SpectrumSide::pairs ? G - 1 - j : j;
}
// Index into the concatenation (a, b) of the group's 2G doubles in (re, im)
// order for lane l of the real parts (Part 0) or imaginary parts (Part 1).
template <int G, SpectrumSide S, int Part>
constexpr int spectrum_load_index(int lane) {
    return 2 * spectrum_memory_offset<G, S>(spectrum_offset<G>(lane)) + Part;
}
// Index into (re, im) for double i of the group's 2G doubles in memory.
template <int G, SpectrumSide S>
constexpr int spectrum_store_index(int i) {
    return (i % 2) * G + spectrum_lane<G>(spectrum_memory_offset<G, S>(i / 2));
}

// The pairs of a group lie in memory in the reverse order of the lanes,
// which with four lanes takes a permute across the two 128-bit halves of each
// vector: a general permute, two operations on an AMD EPYC of family 25.
// Moving each vector's halves exchanged, as two 16-byte loads or stores,
// leaves unpacks within halves; the lanes' values are the same.
template <SpectrumSide S, class T>
inline constexpr bool spectrum_exchanges_halves = S == SpectrumSide::pairs && sizeof(T) == 32;

// Lanes 0..3 from at[2], at[3], at[0], at[1].
template <class T>
inline T spectrum_loadv_exchanged(const double* at) {
    static_assert(sizeof(T) == 32, "four lanes");
    typedef double half __attribute__((vector_size(16)));
    const half lo = spectrum_loadv<half>(at + 2), hi = spectrum_loadv<half>(at);
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3);
}
// Lanes 0..3 to at[2], at[3], at[0], at[1]. The halves are copied by
// address: taken by a shuffle, the upper half went through the same general
// permute.
template <class T>
inline void spectrum_storev_exchanged(double* at, T v) {
    static_assert(sizeof(T) == 32, "four lanes");
    const char* bytes = reinterpret_cast<const char*>(&v);
    __builtin_memcpy(at, bytes + sizeof v / 2, sizeof v / 2);
    __builtin_memcpy(at + 2, bytes, sizeof v / 2);
}

// Lane i of an exchanged vector holds lane i ^ G/2 of the plain one.
template <SpectrumSide S, class T>
inline constexpr int spectrum_lane_flip =
    spectrum_exchanges_halves<S, T> ? static_cast<int>(sizeof(T) / sizeof(double) / 2) : 0;

template <SpectrumSide S, class T>
inline T spectrum_load_moved(const double* at) {
    if constexpr (spectrum_exchanges_halves<S, T>) {
        return spectrum_loadv_exchanged<T>(at);
    } else {
        return spectrum_loadv<T>(at);
    }
}
template <SpectrumSide S, class T>
inline void spectrum_store_moved(double* at, T v) {
    if constexpr (spectrum_exchanges_halves<S, T>) {
        spectrum_storev_exchanged(at, v);
    } else {
        spectrum_storev(at, v);
    }
}

template <SpectrumSide S, class T, std::size_t... L>
inline ComplexOf<T> spectrum_load_group(const double* at, std::index_sequence<L...>) {
    constexpr int G = sizeof...(L), x = spectrum_lane_flip<S, T>;
    const T a = spectrum_load_moved<S, T>(at), b = spectrum_load_moved<S, T>(at + G);
    return {__builtin_shufflevector(a, b, (spectrum_load_index<G, S, 0>(L) ^ x)...),
            __builtin_shufflevector(a, b, (spectrum_load_index<G, S, 1>(L) ^ x)...)};
}
template <SpectrumSide S, class T, std::size_t... I>
inline void spectrum_store_group(double* at, ComplexOf<T> v, std::index_sequence<I...>) {
    constexpr int G = sizeof...(I), x = spectrum_lane_flip<S, T>;
    spectrum_store_moved<S>(at, __builtin_shufflevector(v.re, v.im, spectrum_store_index<G, S>(I ^ x)...));
    spectrum_store_moved<S>(at + G,
                            __builtin_shufflevector(v.re, v.im, spectrum_store_index<G, S>((I ^ x) + G)...));
}

// The G pairs p .. p-G+1 and their mirrors q .. q+G-1, from two registers
// each, in the lanes of spectrum_offset; and back.
template <class T>
inline ComplexOf<T> spectrum_load_p(const double* data, int32_t p, T) {
    constexpr int G = sizeof(T) / sizeof(double);
    return spectrum_load_group<SpectrumSide::pairs, T>(data + 2 * (p - G + 1), std::make_index_sequence<G>{});
}
template <class T>
inline ComplexOf<T> spectrum_load_q(const double* data, int32_t q, T) {
    constexpr int G = sizeof(T) / sizeof(double);
    return spectrum_load_group<SpectrumSide::mirrors, T>(data + 2 * q, std::make_index_sequence<G>{});
}
template <class T>
inline void spectrum_store_p(double* data, int32_t p, ComplexOf<T> v) {
    constexpr int G = sizeof(T) / sizeof(double);
    spectrum_store_group<SpectrumSide::pairs, T>(data + 2 * (p - G + 1), v, std::make_index_sequence<G>{});
}
template <class T>
inline void spectrum_store_q(double* data, int32_t q, ComplexOf<T> v) {
    constexpr int G = sizeof(T) / sizeof(double);
    spectrum_store_group<SpectrumSide::mirrors, T>(data + 2 * q, v, std::make_index_sequence<G>{});
}

// A split spectrum that one kernel keeps for a later one (a held spectrum,
// or a product not yet merged) is stored in the order of the lanes: a group
// of G pairs as its G real parts and then its G imaginary parts, in the same
// 2G doubles the group takes in (re, im) order. That spares the shuffles of
// each load and each store. Single pairs stay in (re, im) order.
// Only the kernels read such an array, with the nfft and the path that wrote
// it, so they visit the same groups.
inline ComplexOf<double> spectrum_load_held_p(const double* data, int32_t p, double) {
    return spectrum_load_p(data, p, 0.0);
}
inline ComplexOf<double> spectrum_load_held_q(const double* data, int32_t q, double) {
    return spectrum_load_q(data, q, 0.0);
}
inline void spectrum_store_held_p(double* data, int32_t p, ComplexOf<double> v) {
    spectrum_store_p(data, p, v);
}
inline void spectrum_store_held_q(double* data, int32_t q, ComplexOf<double> v) {
    spectrum_store_q(data, q, v);
}

template <class T>
inline ComplexOf<T> spectrum_load_held_p(const double* data, int32_t p, T) {
    constexpr int G = sizeof(T) / sizeof(double);
    const double* at = data + 2 * (p - G + 1);
    return {spectrum_loadv<T>(at), spectrum_loadv<T>(at + G)};
}
template <class T>
inline ComplexOf<T> spectrum_load_held_q(const double* data, int32_t q, T) {
    constexpr int G = sizeof(T) / sizeof(double);
    const double* at = data + 2 * q;
    return {spectrum_loadv<T>(at), spectrum_loadv<T>(at + G)};
}
template <class T>
inline void spectrum_store_held_p(double* data, int32_t p, ComplexOf<T> v) {
    constexpr int G = sizeof(T) / sizeof(double);
    double* at = data + 2 * (p - G + 1);
    spectrum_storev(at, v.re);
    spectrum_storev(at + G, v.im);
}
template <class T>
inline void spectrum_store_held_q(double* data, int32_t q, ComplexOf<T> v) {
    constexpr int G = sizeof(T) / sizeof(double);
    double* at = data + 2 * q;
    spectrum_storev(at, v.re);
    spectrum_storev(at + G, v.im);
}

// How far ahead of the pair walk the lines of both streams are requested.
// The walk reads the lower half downward and the upper half upward, and the
// hardware alone keeps neither ahead: with the hint on both, a spectrum
// kernel at 2^21 points takes a quarter to a third less time, with the hint
// on either stream alone no less (AMD EPYC). 64 pairs ahead gains little,
// 512 no more than 256.
constexpr int32_t spectrum_prefetch_pairs = 256;

// Hints, in each of the arrays, the lines of the group of pairs that the
// walk reaches spectrum_prefetch_pairs later, in both streams. Only for
// groups of four or eight pairs (the AVX2 and AVX-512 paths, where it was
// measured); for one or two pairs it does nothing. Reads and changes
// nothing, so the addresses may lie outside the arrays.
template <class T, class... Arrays>
inline void spectrum_prefetch(int32_t p, int32_t q, T, const Arrays*... arrays) {
    constexpr int G = sizeof(T) / sizeof(double);
    if constexpr (G >= 4) {
        constexpr intptr_t pair_bytes = 2 * sizeof(double);
        constexpr intptr_t group_bytes = G * pair_bytes;
        const intptr_t lower = pair_bytes * (p - G + 1 - spectrum_prefetch_pairs);
        const intptr_t upper = pair_bytes * (q + spectrum_prefetch_pairs);
        for (intptr_t at = 0; at < group_bytes; at += 64) {
            (wv::fetch_line(arrays, lower + at), ...);
            (wv::fetch_line(arrays, upper + at), ...);
        }
    }
}

// S vectors of S doubles transposed, S = 2, 4 or 8: lane b of v[j] <->
// lane j of v[b].
template <class V>
inline void spectrum_transpose(V* v) {
    constexpr int S = sizeof(V) / sizeof(double);
    if constexpr (S == 2) {
        const V a = v[0], b = v[1];
        v[0] = __builtin_shufflevector(a, b, 0, 2);
        v[1] = __builtin_shufflevector(a, b, 1, 3);
    } else if constexpr (S == 4) {
        const V t0 = __builtin_shufflevector(v[0], v[1], 0, 4, 2, 6);
        const V t1 = __builtin_shufflevector(v[0], v[1], 1, 5, 3, 7);
        const V t2 = __builtin_shufflevector(v[2], v[3], 0, 4, 2, 6);
        const V t3 = __builtin_shufflevector(v[2], v[3], 1, 5, 3, 7);
        v[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        v[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        v[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        v[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    } else {
        static_assert(S == 8, "squares of two, four or eight");
        V t[8], u[8];
        for (int j = 0; j < 8; j += 2) {
            t[j] = __builtin_shufflevector(v[j], v[j + 1], 0, 8, 2, 10, 4, 12, 6, 14);
            t[j + 1] = __builtin_shufflevector(v[j], v[j + 1], 1, 9, 3, 11, 5, 13, 7, 15);
        }
        for (int j = 0; j < 8; j += 4) {
            for (int i = 0; i < 2; ++i) {
                u[j + i] = __builtin_shufflevector(t[j + i], t[j + i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
                u[j + i + 2] = __builtin_shufflevector(t[j + i], t[j + i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
            }
        }
        for (int i = 0; i < 4; ++i) {
            v[i] = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
            v[i + 4] = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        }
    }
}

// fft_for_each_split_pair with the same twiddles, bit for bit, but calling
// body(p, q, wr, wi) with wr, wi vectors of G doubles for G consecutive
// pairs (p, p-1, .. p-G+1, in the lanes of spectrum_offset) wherever it can,
// and with doubles for the rest. The walk restarts from a fresh seed every
// 128 pairs, so G of those blocks run their recurrences side by side, one
// block per lane, into a small table, and the pairs are then visited in
// groups of G. The order of the pairs differs;
// every pair is independent of the others. The lanes are those of the
// target's vectors: a wider vector type is kept in memory by GCC, and the
// walk then waited on its pieces.
//
// Each step of the recurrences waits on the one before (a product and a
// sum), and built on its own a table took about half of a kernel's time in
// cache (AVX-512). With Ahead, the table of the next G blocks is built G
// steps at a time between the visits of this table's groups, where the
// steps overlap with the visits' work: fft_spectrum_square_split took about
// a fifth less time (AMD EPYC, AVX-512; AVX2 alike before and after). The
// kernels over two or three arrays took longer with the steps in their loop,
// in cache as at 2^21 doubles (fft_spectrum_mul about 1.2 to 1.4 times as
// long at 2^14), so they build each table before visiting it.
template <int G, bool Ahead = false, class Body>
inline void spectrum_for_each_pair_grouped(int32_t n, Body&& body) {
    using T = typename PairVector<G>::type;
    constexpr int32_t block = 128;
    constexpr double two_pi = 6.283185307179586476925286766559;
    if (n < 8) return;
    const int32_t count = n / 2;
    const int32_t first = count / 2 - 1;
    if (first < block * G) {
        fft_for_each_split_pair(n, [&body](int32_t p, int32_t q, double wr, double wi) { body(p, q, wr, wi); });
        return;
    }
    const double angle_step = two_pi / static_cast<double>(n);
    double s, c;
    fft_sincos(angle_step / 2.0, &s, &c);
    const double cs = fft_fma(-2.0 * s, s, 1.0);
    const double ss = 2.0 * s * c;
    const double t = 2.0 * ss;

    // With Ahead two tables, the one being visited and the one being built.
    // Lane b of the recurrence vectors walks block b of the table being built.
    static_assert(block % G == 0, "the twiddles are transposed in squares of G");
    constexpr int tables = Ahead ? 2 : 1;
    alignas(64) double tw_re[tables][G][block];
    alignas(64) double tw_im[tables][G][block];
    int32_t starts[tables][G] = {}, lengths[tables][G] = {}, blocks[tables] = {};
    T prev_re = {}, prev_im = {}, cur_re = {}, cur_im = {};
    int32_t built = block;
    const T tv = T{} + t, halves = T{} + 0.5;

    auto seed = [&](int32_t p, int32_t table) {
        prev_re = T{};
        prev_im = T{};
        cur_re = T{};
        cur_im = T{};
        int32_t b = 0;
        for (; b < G && p - block * b >= 1; ++b) {
            const int32_t pb = p - block * b;
            starts[table][b] = pb;
            lengths[table][b] = pb < block ? pb : block;
            if (pb == first) {
                prev_re[b] = 0.0;
                prev_im[b] = 0.0;
                cur_re[b] = s * s;
                cur_im[b] = s * c;
            } else {
                // Seeded from the last pair of the block before, pb + 1.
                double sp, cp;
                fft_sincos(angle_step * static_cast<double>(pb + 1), &sp, &cp);
                const double hs = 0.5 * sp, hc = 0.5 * cp;
                prev_re[b] = 0.5 - hs;
                prev_im[b] = hc;
                cur_re[b] = 0.5 - fft_fma(hs, cs, -(hc * ss));
                cur_im[b] = fft_fma(hs, ss, hc * cs);
            }
        }
        blocks[table] = b;
        built = 0;
    };
    // G steps of the G recurrences, turned into G runs of G twiddles.
    auto build = [&](int32_t table) {
        T re[G], im[G];
        // Step j goes to the lane of offset j, so that the transpose leaves
        // each run of G twiddles in the lanes of the pairs' groups.
        for (int32_t j = 0; j < G; ++j) {
            re[spectrum_lane<G>(j)] = cur_re;
            im[spectrum_lane<G>(j)] = cur_im;
            const T next_re = spectrum_fma(tv, cur_im, prev_re);
            const T next_im = spectrum_fma(tv, halves - cur_re, prev_im);
            prev_re = cur_re;
            prev_im = cur_im;
            cur_re = next_re;
            cur_im = next_im;
        }
        spectrum_transpose(re);
        spectrum_transpose(im);
        for (int32_t b = 0; b < G; ++b) {
            spectrum_storev(&tw_re[table][b][built], re[b]);
            spectrum_storev(&tw_im[table][b][built], im[b]);
        }
        built += G;
    };

    int32_t here = 0;
    seed(first, here);
    while (built < block) build(here);
    for (int32_t p = first; p >= 1;) {
        const int32_t there = Ahead ? here ^ 1 : here;
        const int32_t next_p = p - block * blocks[here];
        if (Ahead && next_p >= 1) seed(next_p, there);
        int32_t visits = 0;
        for (int32_t b = 0; b < blocks[here]; ++b) {
            const int32_t pb = starts[here][b];
            int32_t k = 0;
            for (; k + G <= lengths[here][b]; k += G) {
                body(pb - k, count - (pb - k), spectrum_loadv<T>(&tw_re[here][b][k]),
                     spectrum_loadv<T>(&tw_im[here][b][k]));
                if (Ahead && ++visits % G == 0 && built < block) build(there);
            }
            for (; k < lengths[here][b]; ++k) {
                const int32_t at = (k - k % G) + spectrum_lane<G>(k % G);
                body(pb - k, count - (pb - k), tw_re[here][b][at], tw_im[here][b][at]);
            }
        }
        if (next_p < 1) break;
        if (!Ahead) seed(next_p, there);
        while (built < block) build(there);
        p = next_p;
        here = there;
    }
}
