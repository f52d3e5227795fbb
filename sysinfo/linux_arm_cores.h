// Names of common arm64 cores by the implementer and part numbers that the
// kernel shows in /proc/cpuinfo, for machines without a "model name" line.
#pragma once

#include <cstdint>

struct ArmCoreName {
    uint32_t implementer;
    uint32_t part;
    const char* vendor;
    const char* core;
};

// Returns the table row for an implementer and part, or null when unknown.
const ArmCoreName* sysinfo_find_arm_core(uint32_t implementer, uint32_t part);
