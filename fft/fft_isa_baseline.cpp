// The transform for every processor of the architecture; see fft_impl.h.
#define FFT_ISA_NS fft_baseline
#define FFT_ISA_WIDTH 1
#define FFT_ISA_OPS fft_isa_baseline
#include "fft/fft_impl.h"
