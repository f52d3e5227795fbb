// The transform for AVX2 and FMA (built with -march=x86-64-v3); see fft_impl.h.
#define FFT_ISA_NS fft_x86_64_v3
#define FFT_ISA_WIDTH 2
#define FFT_ISA_OPS fft_isa_x86_64_v3
#include "fft/fft_impl.h"
