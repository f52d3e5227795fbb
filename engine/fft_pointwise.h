// Pointwise products of real spectra. A real sequence of nfft doubles is
// transformed as nfft/2 packed complex values; `split` turns a pair of those
// into two values of the real spectrum and `merge` undoes it. The kernels
// fuse split, product and merge into one pass over the pairs p = N/2-1 .. 1
// (N = nfft/2) and their mirrors, and treat the middle value p = N/2 as a
// plain complex number. The DC pair (positions 0, 1) is the caller's.
//
// All take nfft >= 4 (nothing to do below 8 but the middle value) and data
// pointers to the first transform value (element [1] of a product buffer).
// A split spectrum or an unmerged product that a kernel leaves behind is in
// the kernels' own order (see spectrum_load_held_p), for a kernel of the
// same nfft in the same process to read, not in (re, im) order.
#pragma once

#include <cstdint>

// Squares a packed spectrum in place: split, square, merge.
void fft_spectrum_square(int32_t nfft, double* data);

// Squares an already split spectrum in place: square, merge.
void fft_spectrum_square_split(int32_t nfft, double* data);

// data1 becomes split(data1); data2 becomes merge(split(data1) * split(data2)).
void fft_spectrum_mul(int32_t nfft, double* data1, double* data2);

// data1 is split already and stays unchanged; data2 becomes
// merge(data1 * split(data2)).
void fft_spectrum_mul_split(int32_t nfft, const double* data1, double* data2);

// The pair loops of the products that keep split spectra (the middle value
// and the DC pair are the caller's):
// d1 becomes split(d1); d2 becomes merge(split(d1)^2).
void spectrum_pairs_square_hold(int32_t nfft, double* d1, double* d2);
// d1 becomes split(d1); d3 becomes split(d1) * split(d3), not merged.
void spectrum_pairs_mul_unmerged(int32_t nfft, double* d1, double* d3);
// d2 becomes split(d2); d1 becomes merge(d1 * split(d2)).
void spectrum_pairs_mul_split_second(int32_t nfft, double* d1, double* d2);
// d3 becomes merge(d3 + split(d1) * d2); d1 and d2 are unchanged.
void spectrum_pairs_mul_add_merge(int32_t nfft, const double* d1, const double* d2, double* d3);
