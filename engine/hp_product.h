// Products of multi-precision numbers through the real FFT.
//
// A product buffer of a transform of nfft doubles (nfft a power of two, at
// least 2) holds nfft + 2 doubles, owned by the caller:
//   [0]            an exponent in words,
//   [1] .. [nfft]  the transform array,
//   [nfft + 1]     the signed leading word of the loaded number; after a
//                  product, the exact product of the two leading words.
// A buffer takes at most h = nfft/2 + 1 words of one factor. After hp_mul or
// hp_mul_transformed, the first buffer is a "held spectrum" of its factor
// (exponent, DC pair, split spectrum, leading word) that later products with
// the same factor and nfft reuse instead of transforming it again. The split
// spectrum is stored in the order of the spectrum kernels' vectors, which
// only they read.
//
// Conventions are those of hp_number.h: out may be any input number; a factor
// of n words contributes only its leading h words. Unlike the word
// arithmetic, a product longer than n words is rounded, not truncated: the
// positions below the last word are estimated and rounded into it. Nothing
// here allocates.
#pragma once

#include <cstdint>

#include "engine/hp_number.h"

// Loads m words of x, starting at word s, into buf (not transformed): the
// two leading words as they are, the others as balanced digits in
// [-R/2, R/2); [0] = exponent(x) - s; [nfft+1] = sign(x) * word s.
void hp_load_transform(int32_t m, uint32_t R, const HpNumber* x, int32_t s, int32_t nfft,
                       double* buf);

// out = the n-word number whose convolution buf holds after the backward
// transform (values nfft/2 times too large; [1] holding the wrapped
// position). Rounds every value to the nearest integer and propagates carries.
void hp_from_convolution(int32_t n, uint32_t R, int32_t nfft, double* buf, HpNumber* out);

// out = a * a to n words.
void hp_square(int32_t n, uint32_t R, const HpNumber* a, HpNumber* out, int32_t nfft,
               double* buf);

// out = a * b to n words; buf1 becomes the held spectrum of a, buf2 is scratch.
void hp_mul(int32_t n, uint32_t R, const HpNumber* a, const HpNumber* b, HpNumber* out,
            int32_t nfft, double* buf1, double* buf2);

// out = (the factor held in buf1) * (b read from its first non-zero word at
// or after word s). buf1 is left unchanged; buf2 is scratch.
void hp_mul_transformed(int32_t n, uint32_t R, const double* buf1, int32_t s, const HpNumber* b,
                        HpNumber* out, int32_t nfft, double* buf2);

// out = (the factor held in buf1) * (m words of b from word t); m = 0 gives
// zero. Requires b.words[t] != 0 when m > 0 (t is b's first non-zero word at
// or after the part's start), since that word carries the sign. The building block of hp_mul_transformed for callers that choose
// the part themselves.
void hp_mul_held_part(int32_t n, uint32_t R, const double* buf1, const HpNumber* b, int32_t t,
                      int32_t m, HpNumber* out, int32_t nfft, double* buf2);

// out = a * a to n words with a single forward transform, leaving the held
// spectrum of a in buf1 for later products; buf2 is scratch.
void hp_square_hold(int32_t n, uint32_t R, const HpNumber* a, HpNumber* out, int32_t nfft,
                    double* buf1, double* buf2);

// out = (the factor held in buf1)^2 to n words; consumes the held spectrum.
void hp_square_held(int32_t n, uint32_t R, double* buf1, HpNumber* out, int32_t nfft);

// out = a * b to n words for factors longer than nfft/2 + 1 words: the upper
// halves' product plus both cross terms (the product of the two lower parts
// is left out, so the last word may differ from the exact product by up to
// about R units). tmp is an n-word scratch number; out may be a.
void hp_mul_long(int32_t n, uint32_t R, const HpNumber* a, const HpNumber* b, HpNumber* out,
                 HpNumber* tmp, int32_t nfft, double* buf1, double* buf2, double* buf3);

