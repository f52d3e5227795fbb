// Scalar helpers shared by the transform and the spectrum kernels: a fused
// multiply-add that stays fast on every target, and a combined sine/cosine.
#pragma once

#include <cmath>

// Whether fft_fma fuses in this translation unit. It follows the compiler's
// target flags (-mfma, -march=x86-64-v3 or later, arm64), which define
// __FMA__ / __ARM_FEATURE_FMA. A function given FMA by a target attribute or
// target_clones does not see these macros: such code names its choice with
// fft_fma<Fused> and fft_for_each_split_pair<Fused> instead.
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA)
inline constexpr bool fft_fma_fused = true;
#else
inline constexpr bool fft_fma_fused = false;
#endif

// Returns a*b + c: with Fused, one rounding (__builtin_fma, which is one
// instruction only where the processor has FMA and a slow library call
// elsewhere); without, the rounded product plus c, two roundings, which
// holds only while the compiler does not contract it (-ffp-contract=off in
// code built with FMA enabled). Always inlined, so that translation units
// built for different instruction sets never share one out-of-line copy.
template <bool Fused>
inline __attribute__((always_inline)) double fft_fma(double a, double b, double c) {
    if constexpr (Fused) {
        return __builtin_fma(a, b, c);
    } else {
        return a * b + c;
    }
}

// a*b + c, fused exactly when the translation unit is built with FMA
// (fft_fma_fused): one rounding there, the plain product and sum elsewhere,
// because a software fma would cost far more than the rounding saves.
inline __attribute__((always_inline)) double fft_fma(double a, double b, double c) {
    return fft_fma<fft_fma_fused>(a, b, c);
}

// Sets *s = sin(x) and *c = cos(x), both correctly rounded to double
// precision or within an ulp of it. An argument known at compile time (the
// fixed-size leaf stages) is folded by the compiler instead of called.
inline __attribute__((always_inline)) void fft_sincos(double x, double* s, double* c) {
#if defined(__GNUC__)
    if (__builtin_constant_p(x)) {
        *s = __builtin_sin(x);
        *c = __builtin_cos(x);
        return;
    }
#endif
#if defined(__GLIBC__)
    ::sincos(x, s, c);
#else
    *s = std::sin(x);
    *c = std::cos(x);
#endif
}
