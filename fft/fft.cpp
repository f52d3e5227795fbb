// The public entry points, each forwarded to the code of the widest
// instruction set this processor has.
#include "fft/fft.h"

#include <cstdlib>
#include <cstring>

#include "fft/fft_cpu.h"
#include "fft/fft_dispatch.h"
#include "fft/fft_fused.h"
#include "fft/fft_kernels.h"

namespace {

struct isa_choice {
    const fft_isa_ops* ops;
    const char* name;
};

#if defined(NUMERA_FFT_X86_LEVELS)
// Only x86-64 has levels to cap; elsewhere the baseline is the one choice.
bool allowed(const char* cap, const char* name) {
    if (cap == nullptr) return true;
    // Levels in increasing order; a cap admits its own and the lower ones.
    static const char* const order[] = {"baseline", "x86-64-v3", "x86-64-v4"};
    int cap_level = -1, level = -1;
    for (int j = 0; j < 3; ++j) {
        if (std::strcmp(cap, order[j]) == 0) cap_level = j;
        if (std::strcmp(name, order[j]) == 0) level = j;
    }
    return cap_level < 0 || level <= cap_level;
}
#endif

isa_choice choose() {
    const char* cap = std::getenv("NUMERA_FFT_ISA");
    const int32_t level = fft_cpu_x86_level();
#if defined(NUMERA_FFT_X86_LEVELS)
    if (level >= 4 && allowed(cap, "x86-64-v4")) return {&fft_isa_x86_64_v4, "x86-64-v4"};
    if (level >= 3 && allowed(cap, "x86-64-v3")) return {&fft_isa_x86_64_v3, "x86-64-v3"};
#else
    (void)cap;
    (void)level;
#endif
    return {&fft_isa_baseline, "baseline"};
}

const isa_choice& chosen() {
    static const isa_choice choice = choose();
    return choice;
}

}  // namespace

int32_t fft_cpu_x86_level() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const int32_t level = [] {
        __builtin_cpu_init();
        // Feature by feature: clang 14 does not know the level names.
        const bool v3 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
                        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
        const bool v4 = v3 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
        return v4 ? 4 : v3 ? 3 : 0;
    }();
    return level;
#else
    return 0;
#endif
}

const fft_isa_ops& fft_active_isa() { return *chosen().ops; }
const char* fft_active_isa_name() { return chosen().name; }

void fft_complex(int32_t n, int32_t direction, double* data) {
    fft_active_isa().complex(n, direction, data);
}

void fft_stage_plain(int32_t n, double* data) { fft_active_isa().stage_plain(n, data); }
void fft_stage_plain_conj(int32_t n, double* data) { fft_active_isa().stage_plain_conj(n, data); }
void fft_stage_odd(int32_t n, double* data) { fft_active_isa().stage_odd(n, data); }
void fft_recurse_plain(int32_t n, double* data) { fft_active_isa().recurse_plain(n, data); }
void fft_recurse_odd(int32_t n, double* data) { fft_active_isa().recurse_odd(n, data); }
void fft_leaf_plain(int32_t n, double* data) { fft_active_isa().leaf_plain(n, data); }
void fft_leaf_odd(int32_t n, double* data) { fft_active_isa().leaf_odd(n, data); }
void fft_leaf_small(int32_t n, double* data) { fft_active_isa().leaf_small(n, data); }
void fft_kernel8(double* data) { fft_active_isa().kernel8(data); }
void fft_kernel8_odd(double* data) { fft_active_isa().kernel8_odd(data); }
void fft_kernel16(double* data) { fft_active_isa().kernel16(data); }
void fft_kernel16_odd(double* data) { fft_active_isa().kernel16_odd(data); }
void fft_bit_reverse(int32_t n, double* data) { fft_active_isa().bit_reverse(n, data); }
void fft_bit_reverse_conj(int32_t n, double* data) { fft_active_isa().bit_reverse_conj(n, data); }

void fft_forward_zero_tail(int32_t n, int32_t used, double* data) {
    fft_active_isa().forward_zero_tail(n, used, data);
}
