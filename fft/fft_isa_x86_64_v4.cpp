// The transform for AVX-512 (built with -march=x86-64-v4); see fft_impl.h.
#define FFT_ISA_NS fft_x86_64_v4
#define FFT_ISA_WIDTH 4
#define FFT_ISA_OPS fft_isa_x86_64_v4
#include "fft/fft_impl.h"
