// The pieces inside fft_complex, exposed so that they can be tested one by one.
//
// A block is n contiguous doubles, M = n/2 complex values y_0 .. y_{M-1}, with
// w = e^{+2 pi i/M}. A plain block wants its ordinary DFT
// Y_j = sum_k y_k w^{jk}; an odd block wants the half-integer frequencies
// Y_j = sum_k y_k w^{(j+1/2)k}. Every routine that completes a block leaves
// Y_j at position rev(j), rev reversing the log2 M bits of j. Everything here
// computes in the forward sense; all routines work in place.
#pragma once

#include <cstdint>

// First radix-4 stage of a plain block (n >= 64, power of two). Afterwards
// its quarters want plain, odd, plain and plain transforms and hold the
// outputs j = 0, 2, 1, 3 (mod 4).
void fft_stage_plain(int32_t n, double* data);

// The same stage computed on the complex conjugate of the block: every
// imaginary part is negated as it is loaded. Starts the backward transform.
void fft_stage_plain_conj(int32_t n, double* data);

// First radix-4 stage of an odd block (n >= 64, power of two). Afterwards its
// quarters want plain, odd, plain and odd transforms.
void fft_stage_odd(int32_t n, double* data);

// Whole transform of a plain / odd block of n >= 256 doubles: the stage, then
// the quarters depth-first while they exceed 512 doubles, then a leaf walk.
void fft_recurse_plain(int32_t n, double* data);
void fft_recurse_odd(int32_t n, double* data);

// Finish a plain / odd block of n = 256 or 512 doubles whose first stage has
// run: each quarter gets its stage and then 8- or 16-point kernels.
void fft_leaf_plain(int32_t n, double* data);
void fft_leaf_odd(int32_t n, double* data);

// Finish a plain block of n = 64 or 128 doubles whose first stage has run,
// with 8- or 16-point kernels on its quarters.
void fft_leaf_small(int32_t n, double* data);

// Whole transforms of 16 doubles (8 points) and 32 doubles (16 points), plain
// and odd, as straight-line code.
void fft_kernel8(double* data);
void fft_kernel8_odd(double* data);
void fft_kernel16(double* data);
void fft_kernel16_odd(double* data);

// Exchanges value k with value rev(k) for all N = n/2 values, in place and
// without any index table. The _conj form also negates every imaginary part,
// including those of the values that stay where they are.
void fft_bit_reverse(int32_t n, double* data);
void fft_bit_reverse_conj(int32_t n, double* data);
