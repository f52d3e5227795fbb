// Instruction-set variants of the engine's hot loops. The loops are written
// once with portable vectors; on x86-64 each is compiled three times (the
// baseline, x86-64-v3 with AVX2, x86-64-v4 with AVX-512) and the entry point
// picks one at run time, so one binary uses the widest vectors the CPU has.
// Other targets compile the baseline only. Results are the same on every
// path: the engine is built without floating-point contraction, so no
// variant fuses a product with a sum unless the source says fft_fma.
//
// NUMERA_ENGINE_ISA=base|v3|v4 in the environment narrows the choice (never
// beyond what the CPU supports), so every path can be checked on one machine.
#pragma once

#include <cstdint>

enum class EngineIsa : int32_t { base = 0, v3 = 3, v4 = 4 };

// The variant in use, decided on the first call.
EngineIsa engine_isa();

// Name of a variant ("base", "x86-64-v3", "x86-64-v4").
const char* engine_isa_name(EngineIsa isa);

#if defined(__x86_64__) && defined(__GNUC__)
#define ENGINE_HAS_VARIANTS 1
#define ENGINE_TARGET_V3 __attribute__((target("arch=x86-64-v3"), flatten))
#define ENGINE_TARGET_V4 __attribute__((target("arch=x86-64-v4"), flatten))
#else
#define ENGINE_HAS_VARIANTS 0
#endif
#define ENGINE_INLINE inline __attribute__((always_inline))

// Inline assembly on AVX registers in the variants' loops. GCC checks the
// operands' sizes in the variant the code is inlined into; clang checks them
// in the inline helper itself, whose target has no AVX, and refuses them, so
// its builds take the portable code.
#if ENGINE_HAS_VARIANTS && !defined(__clang__)
#define ENGINE_VECTOR_ASM 1
#else
#define ENGINE_VECTOR_ASM 0
#endif

// Defines `ret name params` that runs name##_impl<B> args in the variant the
// CPU supports, B being the variant's vector register size in bytes (64,
// 32, or 16 for the baseline). name##_impl must be an ENGINE_INLINE
// template on B: vectors wider than the registers would be split lane by
// lane by the compiler.
#if ENGINE_HAS_VARIANTS
#define ENGINE_VARIANTS(ret, name, params, args)                            \
    ENGINE_TARGET_V4 static ret name##_v4 params { return name##_impl<64> args; } \
    ENGINE_TARGET_V3 static ret name##_v3 params { return name##_impl<32> args; } \
    __attribute__((flatten)) static ret name##_base params { return name##_impl<16> args; } \
    ret name params {                                                       \
        switch (engine_isa()) {                                             \
            case EngineIsa::v4: return name##_v4 args;                      \
            case EngineIsa::v3: return name##_v3 args;                      \
            default: return name##_base args;                               \
        }                                                                   \
    }
#else
#define ENGINE_VARIANTS(ret, name, params, args) \
    ret name params { return name##_impl<16> args; }
#endif
