// Internal to the transform: complex vectors, butterflies and the straight-
// line 8- and 16-point kernels, written once for every vector width.
//
// A vector V holds lanes<V>/2 complex values, interleaved {re, im, re, im,
// ...} (GCC/Clang vector extension: SSE2 or NEON for one value, AVX2 for two,
// AVX-512 for four). The butterflies act lane by lane, so a wide vector runs
// the same operations as the one-value form on several independent indices
// or blocks at once, and gives the same results bit for bit.
//
// A twiddle factor w is held as r = (w_re, w_re) and i = (w_im, w_im) in the
// AVX2 unit, a*w = fmaddsub(a, r, swap(a)*i), and elsewhere as r and
// i = (-w_im, w_im), a*w = a*r + swap(a)*i. The roundings are the same.
//
// This header is included by one translation unit per instruction set, each
// inside its own namespace (FFT_ISA_NS), so that no inline function compiled
// for one set can be picked by the linker for another. It must not call
// inline functions of other headers for the same reason.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && defined(__FMA__)
#include <immintrin.h>
#endif

#ifndef FFT_ISA_NS
#error "fft_simd.h is included by the per-instruction-set translation units only"
#endif

#define FFT_INLINE inline __attribute__((always_inline))

namespace FFT_ISA_NS {

// Twiddle products and recurrences use a fused multiply-add where the target
// has one; without it they stay a rounded product and sum, because a software
// fma would cost far more than the rounding saves. The library is compiled
// with -ffp-contract=off, so nothing else is fused.
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA)
inline constexpr bool fused = true;
#else
inline constexpr bool fused = false;
#endif

// Vector registers of the target, for the schedules that keep many vectors
// live at once: the 16-point kernels on several blocks hold sixteen, which
// fit in 32 registers but not in 16.
#if defined(__AVX512F__) || defined(__aarch64__)
inline constexpr int vector_registers = 32;
#else
inline constexpr int vector_registers = 16;
#endif

// A general permute of four doubles takes two operations on the AVX2
// processors without AVX-512 that we measured (AMD EPYC of family 25) and one
// on those with it; exchanging the two halves takes one on all of them.
#if defined(__AVX2__) && !defined(__AVX512F__)
inline constexpr bool split_lane_permutes = true;
#else
inline constexpr bool split_lane_permutes = false;
#endif

typedef double v1 __attribute__((vector_size(16)));
typedef double v2 __attribute__((vector_size(32)));
typedef double v4 __attribute__((vector_size(64)));

template <int W>
struct vec_of;
template <>
struct vec_of<1> {
    typedef v1 type;
};
template <>
struct vec_of<2> {
    typedef v2 type;
};
template <>
struct vec_of<4> {
    typedef v4 type;
};

// W complex values per vector.
template <int W>
using cvec = typename vec_of<W>::type;

template <class V>
inline constexpr int lanes = static_cast<int>(sizeof(V) / sizeof(double));

template <class V>
using lane_seq = std::make_index_sequence<static_cast<std::size_t>(lanes<V>)>;

inline constexpr double sqrt_half = 0.7071067811865476;
inline constexpr double cos_pi8 = 0.9238795325112867;
inline constexpr double sin_pi8 = 0.3826834323650898;
inline constexpr double cos_pi16 = 0.9807852804032304;
inline constexpr double sin_pi16 = 0.19509032201612828;
inline constexpr double cos_3pi16 = 0.8314696123025452;
inline constexpr double sin_3pi16 = 0.5555702330196022;

// ------------------------------------------------------------ scalar helpers

FFT_INLINE double fma1(double a, double b, double c) {
    if constexpr (fused) {
        return __builtin_fma(a, b, c);
    } else {
        return a * b + c;
    }
}

// A factor known at compile time folds to a correctly rounded constant;
// otherwise one libm call gives both.
FFT_INLINE void sincos1(double x, double* s, double* c) {
    if (__builtin_constant_p(x)) {
        *s = __builtin_sin(x);
        *c = __builtin_cos(x);
        return;
    }
#if defined(__GLIBC__)
    ::sincos(x, s, c);
#else
    *s = std::sin(x);
    *c = std::cos(x);
#endif
}

// ------------------------------------------------------------ lane plumbing

template <class V, std::size_t... J>
FFT_INLINE V splat_impl(double x, std::index_sequence<J...>) {
    return V{(static_cast<void>(J), x)...};
}
template <class V>
FFT_INLINE V splat(double x) {
    return splat_impl<V>(x, lane_seq<V>{});
}

// Sign flips by XOR of the sign bits of every even (Odd = 0) or odd lane:
// exactly the product with (-1, 1, ...) or (1, -1, ...), but on any vector
// unit. Where only two units multiply, and they also shuffle (AMD EPYC of
// family 25), the stages are bound by them: forward AVX2 transforms of 2^21
// doubles took 2 % less time than with the products.
template <std::size_t Odd, class V, std::size_t... J>
FFT_INLINE V flip_signs(V v, std::index_sequence<J...>) {
    typedef long long bits __attribute__((vector_size(sizeof(V))));
    constexpr long long sign = static_cast<long long>(0x8000000000000000ull);
    const bits mask{((J & 1) == Odd ? sign : 0)...};
    bits b;
    std::memcpy(&b, &v, sizeof v);
    b ^= mask;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Every value with its real part negated.
template <class V>
FFT_INLINE V negate_re(V v) {
    return flip_signs<0>(v, lane_seq<V>{});
}
// Every value conjugated.
template <class V>
FFT_INLINE V negate_im(V v) {
    return flip_signs<1>(v, lane_seq<V>{});
}

template <class V, std::size_t... J>
FFT_INLINE V swap_impl(V a, std::index_sequence<J...>) {
    return __builtin_shufflevector(a, a, (J ^ 1)...);
}
// (im, re) of every value.
template <class V>
FFT_INLINE V swap(V a) {
    return swap_impl(a, lane_seq<V>{});
}

// The two complex values of a in reverse order. The compiler would write a
// general permute for it.
FFT_INLINE v2 exchange_halves(v2 a) {
#if defined(__x86_64__) && defined(__FMA__)
    return _mm256_permute2f128_pd(a, a, 1);
#else
    return __builtin_shufflevector(a, a, 2, 3, 0, 1);
#endif
}

// Lane-wise a*b + c, one packed fused multiply-add where the target has it.
// The intrinsics keep it packed: left to itself the compiler may take a
// chain of lane-wise fmas apart into scalar ones.
template <class V, std::size_t... J>
FFT_INLINE V fma_lanes(V a, V b, V c, std::index_sequence<J...>) {
    return V{__builtin_fma(a[J], b[J], c[J])...};
}

template <class V>
FFT_INLINE V fma2(V a, V b, V c) {
    if constexpr (!fused) {
        return a * b + c;
#if defined(__x86_64__) && defined(__FMA__)
    } else if constexpr (sizeof(V) == 16) {
        return _mm_fmadd_pd(a, b, c);
    } else if constexpr (sizeof(V) == 32) {
        return _mm256_fmadd_pd(a, b, c);
#if defined(__AVX512F__)
    } else if constexpr (sizeof(V) == 64) {
        return _mm512_fmadd_pd(a, b, c);
#else
    } else if constexpr (sizeof(V) == 64) {
        const v2 lo = fma2<v2>(__builtin_shufflevector(a, a, 0, 1, 2, 3),
                               __builtin_shufflevector(b, b, 0, 1, 2, 3),
                               __builtin_shufflevector(c, c, 0, 1, 2, 3));
        const v2 hi = fma2<v2>(__builtin_shufflevector(a, a, 4, 5, 6, 7),
                               __builtin_shufflevector(b, b, 4, 5, 6, 7),
                               __builtin_shufflevector(c, c, 4, 5, 6, 7));
        return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
#endif
#endif
    } else {
        return fma_lanes(a, b, c, lane_seq<V>{});
    }
}

// The fused products with alternating add and subtract, and the alternating
// sum, which spare the stages their sign flips (see twiddle_im, add_i). Only
// the AVX2 unit uses them, where they were measured (AMD EPYC of family 25);
// the AVX-512 unit keeps its sign flips until they are measured on a machine
// that has it.
#if defined(__x86_64__) && defined(__FMA__) && !defined(__AVX512F__)
inline constexpr bool addsub_products = true;

// Lane-wise a*b - c in even lanes and a*b + c in odd ones, one rounding each.
FFT_INLINE v1 fmaddsub2(v1 a, v1 b, v1 c) { return _mm_fmaddsub_pd(a, b, c); }
FFT_INLINE v2 fmaddsub2(v2 a, v2 b, v2 c) { return _mm256_fmaddsub_pd(a, b, c); }

// Lane-wise a*b + c in even lanes and a*b - c in odd ones, one rounding each.
FFT_INLINE v1 fmsubadd2(v1 a, v1 b, v1 c) { return _mm_fmsubadd_pd(a, b, c); }
FFT_INLINE v2 fmsubadd2(v2 a, v2 b, v2 c) { return _mm256_fmsubadd_pd(a, b, c); }

// Lane-wise a - b in even lanes and a + b in odd ones.
FFT_INLINE v1 addsub2(v1 a, v1 b) { return _mm_addsub_pd(a, b); }
FFT_INLINE v2 addsub2(v2 a, v2 b) { return _mm256_addsub_pd(a, b); }
#else
inline constexpr bool addsub_products = false;
#endif

template <class V, bool Conj = false>
FFT_INLINE V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (Conj) v = negate_im(v);
    return v;
}

template <class V, bool Conj = false>
FFT_INLINE void store(double* p, V v) {
    if constexpr (Conj) v = negate_im(v);
    std::memcpy(p, &v, sizeof v);
}

// ------------------------------------------------------------------ twiddles

// Negated (with addsub_products only): i holds (-w_im, -w_im), and the
// product alternates the other way, a*w = fmsubadd(a, r, swap(a)*i). A factor
// that comes negated from another then takes one sign flip, not two.
template <class V, bool Negated = false>
struct twiddle {
    static_assert(!Negated || addsub_products, "a negated twiddle multiplies by fmsubadd");
    V r;  // (w_re, w_re)
    V i;  // (w_im, w_im), or (-w_im, w_im) without addsub_products
};

// The i part of a twiddle from (w_im, w_im). Without the sign flip in every
// twiddle, AVX2 transforms of 2^21 doubles took 2 % less time (AMD EPYC of
// family 25), whose stages are bound by their vector units.
template <class V>
FFT_INLINE V twiddle_im(V im) {
    if constexpr (addsub_products) {
        return im;
    } else {
        return negate_re(im);
    }
}

template <class V>
FFT_INLINE twiddle<V> make_twiddle(double re, double im) {
    return {splat<V>(re), twiddle_im(splat<V>(im))};
}

template <class V, bool Negated>
FFT_INLINE V mul(V a, twiddle<V, Negated> w) {
    if constexpr (Negated) {
        return fmsubadd2(a, w.r, swap(a) * w.i);
    } else if constexpr (addsub_products) {
        return fmaddsub2(a, w.r, swap(a) * w.i);
    } else {
        return fma2(a, w.r, swap(a) * w.i);
    }
}

// i*a.
template <class V>
FFT_INLINE V times_i(V a) {
    return negate_re(swap(a));
}

// a + i*b and a - i*b. With addsub_products, as one alternating subtract and
// add of swap(b), and a fused product by one and sum, which rounds as the sum
// does: no sign flip. AVX2 transforms of 2^21 doubles took 2 % less time
// (AMD EPYC of family 25).
template <class V>
FFT_INLINE V add_i(V a, V b) {
    if constexpr (addsub_products) {
        return addsub2(a, swap(b));
    } else {
        return a + times_i(b);
    }
}
template <class V>
FFT_INLINE V sub_i(V a, V b) {
    if constexpr (addsub_products) {
        return fmsubadd2(a, splat<V>(1.0), swap(b));
    } else {
        return a - times_i(b);
    }
}


// a * e^{i pi/4} and a * e^{3i pi/4}.
template <class V>
FFT_INLINE V mul_eighth(V a) {
    return sqrt_half * (a + times_i(a));
}
template <class V>
FFT_INLINE V mul_3eighth(V a) {
    return sqrt_half * (times_i(a) - a);
}

// --------------------------------------------------------------- butterflies

// Radix-4 butterfly of a plain block at one index: y0..y3 are the values a
// quarter apart; w1, w3 the factors of the third and fourth outputs.
// The other units keep the former code of the butterflies as it stood: the
// same operations in the new shape compiled to other code there, and it was
// neither measured nor checked on AVX-512.
template <class V, bool N1, bool N3>
FFT_INLINE void butterfly_plain(V& y0, V& y1, V& y2, V& y3, twiddle<V, N1> w1, twiddle<V, N3> w3) {
    const V x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3;
    if constexpr (addsub_products) {
        // u and v ahead of y0 and y1: formed within the products' lines,
        // AVX2 transforms took 2 % longer (AMD EPYC of family 25).
        const V x3 = y1 - y3, u = add_i(x1, x3), v = sub_i(x1, x3);
        y0 = x0 + x2;
        y1 = x0 - x2;
        y2 = mul(u, w1);
        y3 = mul(v, w3);
    } else {
        const V ix3 = times_i(y1 - y3);
        y0 = x0 + x2;
        y1 = x0 - x2;
        y2 = mul(x1 + ix3, w1);
        y3 = mul(x1 - ix3, w3);
    }
}

template <class V>
FFT_INLINE void butterfly_plain0(V& y0, V& y1, V& y2, V& y3) {
    const V x0 = y0 + y2, x1 = y0 - y2, x2 = y1 + y3;
    if constexpr (addsub_products) {
        const V x3 = y1 - y3, u = add_i(x1, x3), v = sub_i(x1, x3);
        y0 = x0 + x2;
        y1 = x0 - x2;
        y2 = u;
        y3 = v;
    } else {
        const V ix3 = times_i(y1 - y3);
        y0 = x0 + x2;
        y1 = x0 - x2;
        y2 = x1 + ix3;
        y3 = x1 - ix3;
    }
}

// Radix-4 butterfly of an odd block. With A = y0 + i y2, B = y1 + i y3,
// C = y0 - i y2, D = y1 - i y3 the outputs are A a + B b, A a - B b,
// C c + D d, C c - D d, where a = w^{k/2}, b = e^{i pi/4} a, c = w^{3k/2},
// d = e^{3i pi/4} c: the eighth turns ride on the factors.
template <class V, bool NA, bool NB, bool NC, bool ND>
FFT_INLINE void butterfly_odd(V& y0, V& y1, V& y2, V& y3, twiddle<V, NA> a, twiddle<V, NB> b,
                              twiddle<V, NC> c, twiddle<V, ND> d) {
    V ta, tb, tc, td;
    if constexpr (addsub_products) {
        const V A = add_i(y0, y2), C = sub_i(y0, y2);
        const V B = add_i(y1, y3), D = sub_i(y1, y3);
        ta = mul(A, a);
        tb = mul(B, b);
        tc = mul(C, c);
        td = mul(D, d);
    } else {
        const V iy2 = times_i(y2), iy3 = times_i(y3);
        ta = mul(y0 + iy2, a);
        tb = mul(y1 + iy3, b);
        tc = mul(y0 - iy2, c);
        td = mul(y1 - iy3, d);
    }
    y0 = ta + tb;
    y1 = ta - tb;
    y2 = tc + td;
    y3 = tc - td;
}

template <class V>
FFT_INLINE void butterfly_odd0(V& y0, V& y1, V& y2, V& y3) {
    V A, B, C, D;
    if constexpr (addsub_products) {
        A = add_i(y0, y2);
        C = sub_i(y0, y2);
        B = add_i(y1, y3);
        D = sub_i(y1, y3);
        B = mul_eighth(B);
        D = mul_3eighth(D);
    } else {
        const V iy2 = times_i(y2), iy3 = times_i(y3);
        A = y0 + iy2;
        B = mul_eighth(y1 + iy3);
        C = y0 - iy2;
        D = mul_3eighth(y1 - iy3);
    }
    y0 = A + B;
    y1 = A - B;
    y2 = C + D;
    y3 = C - D;
}

// Two-point transforms: plain (a + b, a - b), odd (a + i b, a - i b).
template <class V>
FFT_INLINE void dft2_plain(V& a, V& b) {
    const V t = a;
    a = t + b;
    b = t - b;
}
template <class V>
FFT_INLINE void dft2_odd(V& a, V& b) {
    const V t = a;
    if constexpr (addsub_products) {
        a = add_i(t, b);
        b = sub_i(t, b);
    } else {
        const V ib = times_i(b);
        a = t + ib;
        b = t - ib;
    }
}

// Four-point transforms, output in bit-reversed order.
template <class V>
FFT_INLINE void dft4_plain(V* v) {
    butterfly_plain0(v[0], v[1], v[2], v[3]);
}
template <class V>
FFT_INLINE void dft4_odd(V* v) {
    butterfly_odd0(v[0], v[1], v[2], v[3]);
}

// ------------------------------------------------------------------- kernels
// Each lane of v[j] is value j of its own block.

// 8-point plain transform of v[0..7], output at bit-reversed positions.
template <class V>
FFT_INLINE void core8(V* v) {
    butterfly_plain0(v[0], v[2], v[4], v[6]);
    butterfly_plain(v[1], v[3], v[5], v[7], make_twiddle<V>(sqrt_half, sqrt_half),
                    make_twiddle<V>(-sqrt_half, sqrt_half));
    dft2_plain(v[0], v[1]);
    dft2_odd(v[2], v[3]);
    dft2_plain(v[4], v[5]);
    dft2_plain(v[6], v[7]);
}

// 8-point odd transform: Y_j = sum_k v_k e^{2 pi i (j+1/2) k/8} at rev(j).
template <class V>
FFT_INLINE void core8_odd(V* v) {
    butterfly_odd0(v[0], v[2], v[4], v[6]);
    butterfly_odd(v[1], v[3], v[5], v[7], make_twiddle<V>(cos_pi8, sin_pi8),
                  make_twiddle<V>(sin_pi8, cos_pi8), make_twiddle<V>(sin_pi8, cos_pi8),
                  make_twiddle<V>(-cos_pi8, -sin_pi8));
    dft2_plain(v[0], v[1]);
    dft2_odd(v[2], v[3]);
    dft2_plain(v[4], v[5]);
    dft2_odd(v[6], v[7]);
}

// The 16-point transforms in two levels: butterfly J (0..3) of the first
// level acts on v[J], v[J+4], v[J+8], v[J+12]; four-point transform G of the
// second on v[4G .. 4G+3]. Odd selects the odd transform.
template <int J, bool Odd, class V>
FFT_INLINE void first_level16(V& a, V& b, V& c, V& d) {
    if constexpr (!Odd && J == 0) {
        butterfly_plain0(a, b, c, d);
    } else if constexpr (!Odd && J == 1) {
        butterfly_plain(a, b, c, d, make_twiddle<V>(cos_pi8, sin_pi8), make_twiddle<V>(sin_pi8, cos_pi8));
    } else if constexpr (!Odd && J == 2) {
        butterfly_plain(a, b, c, d, make_twiddle<V>(sqrt_half, sqrt_half),
                        make_twiddle<V>(-sqrt_half, sqrt_half));
    } else if constexpr (!Odd && J == 3) {
        butterfly_plain(a, b, c, d, make_twiddle<V>(sin_pi8, cos_pi8), make_twiddle<V>(-cos_pi8, -sin_pi8));
    } else if constexpr (J == 0) {
        butterfly_odd0(a, b, c, d);
    } else if constexpr (J == 1) {
        butterfly_odd(a, b, c, d, make_twiddle<V>(cos_pi16, sin_pi16), make_twiddle<V>(sin_3pi16, cos_3pi16),
                      make_twiddle<V>(cos_3pi16, sin_3pi16), make_twiddle<V>(-cos_pi16, sin_pi16));
    } else if constexpr (J == 2) {
        butterfly_odd(a, b, c, d, make_twiddle<V>(cos_pi8, sin_pi8), make_twiddle<V>(sin_pi8, cos_pi8),
                      make_twiddle<V>(sin_pi8, cos_pi8), make_twiddle<V>(-cos_pi8, -sin_pi8));
    } else {
        butterfly_odd(a, b, c, d, make_twiddle<V>(cos_3pi16, sin_3pi16), make_twiddle<V>(sin_pi16, cos_pi16),
                      make_twiddle<V>(-sin_pi16, cos_pi16), make_twiddle<V>(-sin_3pi16, -cos_3pi16));
    }
}

template <bool Odd, class V>
FFT_INLINE void second_level16(int g, V* v) {
    if (g == 1 || (Odd && g == 3)) {
        dft4_odd(v + 4 * g);
    } else {
        dft4_plain(v + 4 * g);
    }
}

// 16-point plain (Odd false) or odd transform of v[0..15], output at
// bit-reversed positions; the odd one is Y_j = sum_k v_k e^{2 pi i (j+1/2) k/16}.
template <bool Odd, class V>
FFT_INLINE void core16_kind(V* v) {
    first_level16<0, Odd>(v[0], v[4], v[8], v[12]);
    first_level16<1, Odd>(v[1], v[5], v[9], v[13]);
    first_level16<2, Odd>(v[2], v[6], v[10], v[14]);
    first_level16<3, Odd>(v[3], v[7], v[11], v[15]);
    for (int g = 0; g < 4; ++g) second_level16<Odd>(g, v);
}

template <class V>
FFT_INLINE void core16(V* v) {
    core16_kind<false>(v);
}

template <class V>
FFT_INLINE void core16_odd(V* v) {
    core16_kind<true>(v);
}

// Loads and stores of Count consecutive one-value vectors.
template <bool Conj, std::size_t... J>
FFT_INLINE void load_seq(const double* data, v1* v, std::index_sequence<J...>) {
    ((v[J] = load<v1, Conj>(data + 2 * J)), ...);
}

template <bool Conj, std::size_t... J>
FFT_INLINE void store_seq(double* data, const v1* v, std::index_sequence<J...>) {
    (store<v1, Conj>(data + 2 * J, v[J]), ...);
}

template <int Count, bool Conj = false>
FFT_INLINE void load_all(const double* data, v1* v) {
    load_seq<Conj>(data, v, std::make_index_sequence<Count>{});
}

template <int Count, bool Conj = false>
FFT_INLINE void store_all(double* data, const v1* v) {
    store_seq<Conj>(data, v, std::make_index_sequence<Count>{});
}

FFT_INLINE void kernel8(double* data) {
    v1 v[8];
    load_all<8>(data, v);
    core8(v);
    store_all<8>(data, v);
}

FFT_INLINE void kernel8_odd(double* data) {
    v1 v[8];
    load_all<8>(data, v);
    core8_odd(v);
    store_all<8>(data, v);
}

FFT_INLINE void kernel16(double* data) {
    v1 v[16];
    load_all<16>(data, v);
    core16(v);
    store_all<16>(data, v);
}

FFT_INLINE void kernel16_odd(double* data) {
    v1 v[16];
    load_all<16>(data, v);
    core16_odd(v);
    store_all<16>(data, v);
}

}  // namespace FFT_ISA_NS
