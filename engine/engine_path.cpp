#include "engine/engine_path.h"

#include <cstring>

#include "engine/engine_isa.h"
#include "fft/fft_cpu.h"
#include "fft/fft_dispatch.h"

namespace {

#if defined(__aarch64__)
constexpr const char* baseline_name = "arm64";
#else
constexpr const char* baseline_name = "x86-64";
#endif

// The x86-64 level a path name stands for (0 for the baseline).
int32_t level_of(const char* name) {
    if (std::strcmp(name, "x86-64-v4") == 0) return 4;
    if (std::strcmp(name, "x86-64-v3") == 0) return 3;
    return 0;
}

const char* display_name(const char* name) { return level_of(name) == 0 ? baseline_name : name; }

}  // namespace

PiEnginePath pi_engine_path() {
    const char* transform = fft_active_isa_name();
    const char* words = engine_isa_name(engine_isa());
    const int32_t cpu = fft_cpu_x86_level();
    return {display_name(transform), display_name(words), level_of(transform) < cpu || level_of(words) < cpu};
}

std::string pi_engine_path_text(const PiEnginePath& path) {
    std::string text = path.transform;
    if (std::strcmp(path.transform, path.word_loops) != 0) {
        text += " transform, ";
        text += path.word_loops;
        text += " word loops";
    }
    if (path.narrowed) text += " (narrowed for testing)";
    return text;
}
