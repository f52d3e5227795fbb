// Which code paths this process computes with: scores are comparable
// between machines only when the paths (and the program version) match.
#pragma once

#include <string>

struct PiEnginePath {
    const char* transform;   // "x86-64-v4", "x86-64-v3", "x86-64" (baseline) or "arm64"
    const char* word_loops;  // the same names, for the engine's word and spectrum loops
    bool narrowed;           // NUMERA_FFT_ISA or NUMERA_ENGINE_ISA chose less than the CPU has
};

// The paths chosen for this processor (decided once per process).
PiEnginePath pi_engine_path();

// One line for people: "x86-64-v4", or both names when they differ, with
// " (narrowed for testing)" when an override is in force.
std::string pi_engine_path_text(const PiEnginePath& path);
