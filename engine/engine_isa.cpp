#include "engine/engine_isa.h"

#include "fft/fft_cpu.h"

#include <cstdlib>
#include <cstring>

namespace {

EngineIsa detect() {
    EngineIsa best = EngineIsa::base;
#if ENGINE_HAS_VARIANTS
    const int32_t level = fft_cpu_x86_level();
    if (level >= 4) {
        best = EngineIsa::v4;
    } else if (level >= 3) {
        best = EngineIsa::v3;
    }
#endif
    const char* wanted = std::getenv("NUMERA_ENGINE_ISA");
    if (wanted != nullptr) {
        EngineIsa w = best;
        if (std::strcmp(wanted, "base") == 0) w = EngineIsa::base;
        if (std::strcmp(wanted, "v3") == 0) w = EngineIsa::v3;
        if (std::strcmp(wanted, "v4") == 0) w = EngineIsa::v4;
        if (static_cast<int32_t>(w) < static_cast<int32_t>(best)) best = w;
    }
    return best;
}

}  // namespace

EngineIsa engine_isa() {
    static const EngineIsa isa = detect();
    return isa;
}

const char* engine_isa_name(EngineIsa isa) {
    switch (isa) {
        case EngineIsa::v4: return "x86-64-v4";
        case EngineIsa::v3: return "x86-64-v3";
        default: return "base";
    }
}
