// Pointwise products of real spectra. A real sequence of nfft doubles is
// transformed as nfft/2 packed complex values; `split` turns a pair of those
// into two values of the real spectrum and `merge` undoes it. The kernels
// fuse split, product and merge into one pass over the pairs p = N/2-1 .. 1
// (N = nfft/2) and their mirrors, and treat the middle value p = N/2 as a
// plain complex number. The DC pair (positions 0, 1) is the caller's.
//
// All take nfft >= 4 (nothing to do below 8 but the middle value) and data
// pointers to the first transform value (element [1] of a product buffer).
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
