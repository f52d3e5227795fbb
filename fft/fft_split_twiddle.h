// Pair walk of the real-sequence spectrum, with the split twiddle produced on
// the fly; for the spectrum kernels that fuse split, pointwise product and
// merge into one pass.
//
// Convention. An n-double array (N = n/2 complex values Z_p) holding the
// forward transform of a real sequence packed as z_j = x_{2j} + i x_{2j+1}
// is split pair by pair: with q = N - p and w = w(p) below,
//     D = Z_p - conj(Z_q),   y = D * w,
//     X_p = Z_p - y,         X_q = Z_q + conj(y),
// which gives X_p = sum_t x_t e^{+2 pi i t p/n}; merge inverts it with
// y = D * conj(w), P_p -= y, P_q += conj(y).
//
// Twiddle: w(p) = (1/2 - sin(pi p/N)/2, cos(pi p/N)/2). Exactly as computed
// here (fma = fft_fma<Fused>: one rounding when Fused, two otherwise; Fused
// defaults to fft_fma_fused, that is to whether the calling translation unit
// is built with FMA):
//     s, c   = sin(pi/n), cos(pi/n)              one fft_sincos call
//     cs     = fma(-2 s, s, 1)                    cos(2 pi/n)
//     ss     = 2 s c                              sin(2 pi/n)
//     t      = 2 ss
//     prev   = (0, 0)                             w(N/2)
//     cur    = (s*s, s*c)                         w(N/2 - 1)
//   step to the next pair down (p -> p - 1):
//     next.re = fma(t, cur.im, prev.re)
//     next.im = fma(t, 0.5 - cur.re, prev.im)
//   re-seeding: pairs are taken in blocks of 128 counted from the middle
//   (p = N/2-1 .. N/2-128, then the next 128, ...). After a block whose last
//   pair p0 is greater than 1, with sp, cp = fft_sincos(pi * p0 / N),
//   hs = 0.5 sp and hc = 0.5 cp:
//     prev = (0.5 - hs, hc)
//     cur  = (0.5 - fma(hs, cs, -(hc * ss)), fma(hs, ss, hc * cs))
// The argument pi * p0 / N is formed as (2 pi / n) * p0.
#pragma once

#include <cstdint>

#include "fft/fft_math.h"

// Visits the pairs p = N/2-1 down to 1 of an n-double spectrum (N = n/2
// complex values), with mirror q = N - p and the split twiddle w(p), calling
// body(p, q, w_re, w_im) once per pair in that order. Does nothing for n < 8.
// Code built for several instruction sets from one source passes Fused
// explicitly (see fft_math.h).
template <bool Fused = fft_fma_fused, class Body>
inline void fft_for_each_split_pair(int32_t n, Body&& body) {
    constexpr int32_t block = 128;
    constexpr double two_pi = 6.283185307179586476925286766559;
    if (n < 8) return;
    const int32_t count = n / 2;
    const double angle_step = two_pi / static_cast<double>(n);
    double s, c;
    fft_sincos(angle_step / 2.0, &s, &c);
    const double cs = fft_fma<Fused>(-2.0 * s, s, 1.0);
    const double ss = 2.0 * s * c;
    const double t = 2.0 * ss;
    double prev_re = 0.0, prev_im = 0.0;
    double cur_re = s * s, cur_im = s * c;
    int32_t p = count / 2 - 1;
    while (p >= 1) {
        const int32_t last = p - block + 1 > 1 ? p - block + 1 : 1;
        for (; p >= last; --p) {
            body(p, count - p, cur_re, cur_im);
            const double next_re = fft_fma<Fused>(t, cur_im, prev_re);
            const double next_im = fft_fma<Fused>(t, 0.5 - cur_re, prev_im);
            prev_re = cur_re;
            prev_im = cur_im;
            cur_re = next_re;
            cur_im = next_im;
        }
        if (last > 1) {
            double sp, cp;
            fft_sincos(angle_step * static_cast<double>(last), &sp, &cp);
            const double hs = 0.5 * sp, hc = 0.5 * cp;
            prev_re = 0.5 - hs;
            prev_im = hc;
            cur_re = 0.5 - fft_fma<Fused>(hs, cs, -(hc * ss));
            cur_im = fft_fma<Fused>(hs, ss, hc * cs);
        }
    }
}
