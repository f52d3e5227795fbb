// Internal to the transform: complex helpers and the straight-line 8- and
// 16-point kernels, kept inline so that the leaf walks and the short direct
// transforms compile to one block of code each.
//
// A complex value is one two-lane vector {re, im} (GCC/Clang vector
// extension: SSE2 on x86-64, NEON on arm64), so additions act on both parts at
// once. A twiddle factor w is held as the pair r = (w_re, w_re),
// i = (-w_im, w_im), which makes a product a*w = a*r + swap(a)*i.
#pragma once

#include <cstddef>
#include <cstring>
#include <utility>

#include "fft/fft_math.h"

#define FFT_INLINE inline __attribute__((always_inline))

namespace fft_detail {

typedef double cplx __attribute__((vector_size(16)));

struct twiddle {
    cplx r;  // (w_re, w_re)
    cplx i;  // (-w_im, w_im)
};

inline constexpr double sqrt_half = 0.7071067811865476;
inline constexpr double cos_pi8 = 0.9238795325112867;
inline constexpr double sin_pi8 = 0.3826834323650898;
inline constexpr double cos_pi16 = 0.9807852804032304;
inline constexpr double sin_pi16 = 0.19509032201612828;
inline constexpr double cos_3pi16 = 0.8314696123025452;
inline constexpr double sin_3pi16 = 0.5555702330196022;

FFT_INLINE cplx make(double re, double im) { return cplx{re, im}; }

FFT_INLINE twiddle make_twiddle(double re, double im) { return {cplx{re, re}, cplx{-im, im}}; }

FFT_INLINE cplx swap(cplx a) { return __builtin_shufflevector(a, a, 1, 0); }

// Lane-wise a*b + c: fft_fma on each lane, written so that it stays one
// packed multiply and add (or one packed fused multiply-add).
FFT_INLINE cplx fma2(cplx a, cplx b, cplx c) {
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA)
    return cplx{__builtin_fma(a[0], b[0], c[0]), __builtin_fma(a[1], b[1], c[1])};
#else
    return a * b + c;
#endif
}

template <bool Conj = false>
FFT_INLINE cplx load(const double* p) {
    cplx v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (Conj) v *= cplx{1.0, -1.0};
    return v;
}

template <bool Conj = false>
FFT_INLINE void store(double* p, cplx v) {
    if constexpr (Conj) v *= cplx{1.0, -1.0};
    std::memcpy(p, &v, sizeof v);
}

// i*a.
FFT_INLINE cplx times_i(cplx a) { return swap(a) * cplx{-1.0, 1.0}; }

// a + i*b and a - i*b.
FFT_INLINE cplx add_i(cplx a, cplx b) { return a + times_i(b); }
FFT_INLINE cplx sub_i(cplx a, cplx b) { return a - times_i(b); }

FFT_INLINE cplx mul(cplx a, twiddle w) { return fma2(a, w.r, swap(a) * w.i); }

// a * e^{i pi/4} and a * e^{3i pi/4}.
FFT_INLINE cplx mul_eighth(cplx a) { return sqrt_half * (a + times_i(a)); }
FFT_INLINE cplx mul_3eighth(cplx a) { return sqrt_half * (times_i(a) - a); }

// Factors of the mirror index Q-k from those of k: w^{Q-k} = i*conj(w^k) and
// w^{3(Q-k)} = -i*conj(w^{3k}), since w^Q = i.
FFT_INLINE twiddle mirror_i(twiddle w) {  // (w_im, w_re)
    return {__builtin_shufflevector(w.i, w.i, 1, 1), w.r * cplx{-1.0, 1.0}};
}
FFT_INLINE twiddle mirror_neg_i(twiddle w) {  // (-w_im, -w_re)
    return {__builtin_shufflevector(w.i, w.i, 0, 0), w.r * cplx{1.0, -1.0}};
}

// Radix-4 butterfly of a plain block at one index: y0..y3 are the values a
// quarter apart; w1, w3 the factors of the third and fourth outputs.
FFT_INLINE void butterfly_plain(cplx& y0, cplx& y1, cplx& y2, cplx& y3, twiddle w1, twiddle w3) {
    const cplx x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3, ix3 = times_i(y1 - y3);
    y0 = x0 + x2;
    y1 = x0 - x2;
    y2 = mul(x1 + ix3, w1);
    y3 = mul(x1 - ix3, w3);
}

FFT_INLINE void butterfly_plain0(cplx& y0, cplx& y1, cplx& y2, cplx& y3) {
    const cplx x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3, ix3 = times_i(y1 - y3);
    y0 = x0 + x2;
    y1 = x0 - x2;
    y2 = x1 + ix3;
    y3 = x1 - ix3;
}

// Radix-4 butterfly of an odd block. With A = y0 + i y2, B = y1 + i y3,
// C = y0 - i y2, D = y1 - i y3 the outputs are A a + B b, A a - B b,
// C c + D d, C c - D d, where a = w^{k/2}, b = e^{i pi/4} a, c = w^{3k/2},
// d = e^{3i pi/4} c: the eighth turns ride on the factors.
FFT_INLINE void butterfly_odd(cplx& y0, cplx& y1, cplx& y2, cplx& y3, twiddle a, twiddle b,
                              twiddle c, twiddle d) {
    const cplx iy2 = times_i(y2), iy3 = times_i(y3);
    const cplx ta = mul(y0 + iy2, a), tb = mul(y1 + iy3, b);
    const cplx tc = mul(y0 - iy2, c), td = mul(y1 - iy3, d);
    y0 = ta + tb;
    y1 = ta - tb;
    y2 = tc + td;
    y3 = tc - td;
}

FFT_INLINE void butterfly_odd0(cplx& y0, cplx& y1, cplx& y2, cplx& y3) {
    const cplx iy2 = times_i(y2), iy3 = times_i(y3);
    const cplx A = y0 + iy2, B = mul_eighth(y1 + iy3);
    const cplx C = y0 - iy2, D = mul_3eighth(y1 - iy3);
    y0 = A + B;
    y1 = A - B;
    y2 = C + D;
    y3 = C - D;
}

// Two-point transforms: plain (a + b, a - b), odd (a + i b, a - i b).
FFT_INLINE void dft2_plain(cplx& a, cplx& b) {
    const cplx t = a;
    a = t + b;
    b = t - b;
}
FFT_INLINE void dft2_odd(cplx& a, cplx& b) {
    const cplx t = a, ib = times_i(b);
    a = t + ib;
    b = t - ib;
}

// Four-point transforms, output in bit-reversed order.
FFT_INLINE void dft4_plain(cplx* v) { butterfly_plain0(v[0], v[1], v[2], v[3]); }
FFT_INLINE void dft4_odd(cplx* v) { butterfly_odd0(v[0], v[1], v[2], v[3]); }

// 8-point plain transform of v[0..7], output at bit-reversed positions.
FFT_INLINE void core8(cplx* v) {
    butterfly_plain0(v[0], v[2], v[4], v[6]);
    butterfly_plain(v[1], v[3], v[5], v[7], make_twiddle(sqrt_half, sqrt_half),
                    make_twiddle(-sqrt_half, sqrt_half));
    dft2_plain(v[0], v[1]);
    dft2_odd(v[2], v[3]);
    dft2_plain(v[4], v[5]);
    dft2_plain(v[6], v[7]);
}

// 8-point odd transform: Y_j = sum_k v_k e^{2 pi i (j+1/2) k/8} at rev(j).
FFT_INLINE void core8_odd(cplx* v) {
    butterfly_odd0(v[0], v[2], v[4], v[6]);
    butterfly_odd(v[1], v[3], v[5], v[7], make_twiddle(cos_pi8, sin_pi8),
                  make_twiddle(sin_pi8, cos_pi8), make_twiddle(sin_pi8, cos_pi8),
                  make_twiddle(-cos_pi8, -sin_pi8));
    dft2_plain(v[0], v[1]);
    dft2_odd(v[2], v[3]);
    dft2_plain(v[4], v[5]);
    dft2_odd(v[6], v[7]);
}

// 16-point plain transform of v[0..15], output at bit-reversed positions.
FFT_INLINE void core16(cplx* v) {
    butterfly_plain0(v[0], v[4], v[8], v[12]);
    butterfly_plain(v[1], v[5], v[9], v[13], make_twiddle(cos_pi8, sin_pi8),
                    make_twiddle(sin_pi8, cos_pi8));
    butterfly_plain(v[2], v[6], v[10], v[14], make_twiddle(sqrt_half, sqrt_half),
                    make_twiddle(-sqrt_half, sqrt_half));
    butterfly_plain(v[3], v[7], v[11], v[15], make_twiddle(sin_pi8, cos_pi8),
                    make_twiddle(-cos_pi8, -sin_pi8));
    dft4_plain(v);
    dft4_odd(v + 4);
    dft4_plain(v + 8);
    dft4_plain(v + 12);
}

// 16-point odd transform: Y_j = sum_k v_k e^{2 pi i (j+1/2) k/16} at rev(j).
FFT_INLINE void core16_odd(cplx* v) {
    butterfly_odd0(v[0], v[4], v[8], v[12]);
    butterfly_odd(v[1], v[5], v[9], v[13], make_twiddle(cos_pi16, sin_pi16),
                  make_twiddle(sin_3pi16, cos_3pi16), make_twiddle(cos_3pi16, sin_3pi16),
                  make_twiddle(-cos_pi16, sin_pi16));
    butterfly_odd(v[2], v[6], v[10], v[14], make_twiddle(cos_pi8, sin_pi8),
                  make_twiddle(sin_pi8, cos_pi8), make_twiddle(sin_pi8, cos_pi8),
                  make_twiddle(-cos_pi8, -sin_pi8));
    butterfly_odd(v[3], v[7], v[11], v[15], make_twiddle(cos_3pi16, sin_3pi16),
                  make_twiddle(sin_pi16, cos_pi16), make_twiddle(-sin_pi16, cos_pi16),
                  make_twiddle(-sin_3pi16, -cos_3pi16));
    dft4_plain(v);
    dft4_odd(v + 4);
    dft4_plain(v + 8);
    dft4_odd(v + 12);
}

// Loads and stores of Count consecutive values, unrolled at compile time.
template <bool Conj, std::size_t... J>
FFT_INLINE void load_seq(const double* data, cplx* v, std::index_sequence<J...>) {
    ((v[J] = load<Conj>(data + 2 * J)), ...);
}

template <bool Conj, std::size_t... J>
FFT_INLINE void store_seq(double* data, const cplx* v, std::index_sequence<J...>) {
    (store<Conj>(data + 2 * J, v[J]), ...);
}

template <int Count, bool Conj = false>
FFT_INLINE void load_all(const double* data, cplx* v) {
    load_seq<Conj>(data, v, std::make_index_sequence<Count>{});
}

template <int Count, bool Conj = false>
FFT_INLINE void store_all(double* data, const cplx* v) {
    store_seq<Conj>(data, v, std::make_index_sequence<Count>{});
}

FFT_INLINE void kernel8(double* data) {
    cplx v[8];
    load_all<8>(data, v);
    core8(v);
    store_all<8>(data, v);
}

FFT_INLINE void kernel8_odd(double* data) {
    cplx v[8];
    load_all<8>(data, v);
    core8_odd(v);
    store_all<8>(data, v);
}

FFT_INLINE void kernel16(double* data) {
    cplx v[16];
    load_all<16>(data, v);
    core16(v);
    store_all<16>(data, v);
}

FFT_INLINE void kernel16_odd(double* data) {
    cplx v[16];
    load_all<16>(data, v);
    core16_odd(v);
    store_all<16>(data, v);
}

}  // namespace fft_detail
