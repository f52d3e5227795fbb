// Building blocks of the spectrum kernels: complex values of a transform
// array, the split and merge steps of one pair, and the pair walk with its
// twiddles. Internal to the engine.
#pragma once

#include <cstdint>

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
