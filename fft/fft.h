// The transform of the multiplication engine: an unnormalised, in-place
// complex discrete Fourier transform of power-of-two length on interleaved
// doubles. No tables, no state, no allocation; safe to call from any thread
// on distinct arrays.
#pragma once

#include <cstdint>

// Transforms the n doubles at data, read as N = n/2 complex values
// (data[2j], data[2j+1]) = (re, im), in natural order in and out.
// direction >= 0: Y_k = sum_j z_j e^{+2 pi i jk/N}; direction < 0: the same
// with e^{-2 pi i jk/N}. Neither direction scales, so backward after forward
// gives N times the input. n = 2 leaves the value alone, n = 4 gives
// (z0 + z1, z0 - z1); n must be a power of two (any other n leaves the array
// unchanged).
void fft_complex(int32_t n, int32_t direction, double* data);
