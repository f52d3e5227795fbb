// Entry points that do the work of fft_complex together with work next to
// it, for the multiplication engine. Each leaves exactly the values of the
// plain sequence it stands for, computed by the same operations in the same
// order; they only spare passes over memory.
#pragma once

#include <cstdint>

// fft_complex(n, 1, data) for an array whose doubles from index `used` on
// are zero: they need not be written beforehand (the transform writes them),
// and when used <= n/2 + 1 the first stage does not read the upper half.
void fft_forward_zero_tail(int32_t n, int32_t used, double* data);
