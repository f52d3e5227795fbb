// Scalar helpers shared by the transform and the spectrum kernels: a fused
// multiply-add that stays fast on every target, and a combined sine/cosine.
#pragma once

#include <cmath>

// Returns a*b + c. With FMA hardware in the target (__FMA__ or
// __ARM_FEATURE_FMA) this is one rounding; otherwise it is the plain product
// and sum, because a software fma would cost far more than the rounding saves.
inline double fft_fma(double a, double b, double c) {
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA)
    return __builtin_fma(a, b, c);
#else
    return a * b + c;
#endif
}

// Sets *s = sin(x) and *c = cos(x), both correctly rounded to double
// precision or within an ulp of it. An argument known at compile time (the
// fixed-size leaf stages) is folded by the compiler instead of called.
inline void fft_sincos(double x, double* s, double* c) {
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
