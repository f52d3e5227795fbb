// Internal to the transform: one table of entry points per instruction set,
// and the choice among them for this processor.
#pragma once

#include <cstdint>

struct fft_isa_ops {
    void (*complex)(int32_t n, int32_t direction, double* data);
    void (*stage_plain)(int32_t n, double* data);
    void (*stage_plain_conj)(int32_t n, double* data);
    void (*stage_odd)(int32_t n, double* data);
    void (*recurse_plain)(int32_t n, double* data);
    void (*recurse_odd)(int32_t n, double* data);
    void (*leaf_plain)(int32_t n, double* data);
    void (*leaf_odd)(int32_t n, double* data);
    void (*leaf_small)(int32_t n, double* data);
    void (*kernel8)(double* data);
    void (*kernel8_odd)(double* data);
    void (*kernel16)(double* data);
    void (*kernel16_odd)(double* data);
    void (*bit_reverse)(int32_t n, double* data);
    void (*bit_reverse_conj)(int32_t n, double* data);
    void (*forward_zero_tail)(int32_t n, int32_t used, double* data);
};

// Baseline code for every processor of the architecture (SSE2 on x86-64,
// NEON on arm64), two doubles per vector.
extern const fft_isa_ops fft_isa_baseline;
#if defined(NUMERA_FFT_X86_LEVELS)
// x86-64-v3 (AVX2 and FMA, four doubles per vector) and x86-64-v4 (AVX-512,
// eight doubles per vector).
extern const fft_isa_ops fft_isa_x86_64_v3;
extern const fft_isa_ops fft_isa_x86_64_v4;
#endif

// The widest set this processor runs, chosen once. The environment variable
// NUMERA_FFT_ISA = baseline, x86-64-v3 or x86-64-v4 caps the choice, so that
// the narrower paths can be run and checked on a wide machine.
const fft_isa_ops& fft_active_isa();

// Name of the chosen set, for reports.
const char* fft_active_isa_name();
