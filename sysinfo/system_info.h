// The machine-description record and its collection.
#pragma once

#include <cstddef>
#include <cstdint>

struct SystemInfo {
    char cpu_model[128];
    int32_t cpu_cores_physical;
    int32_t cpu_cores_logical;
    int32_t cpu_frequency_mhz;
    int32_t cpu_cores_performance;
    int32_t cpu_cores_efficiency;
    int32_t cpu_frequency_p_max_mhz;
    int32_t cpu_frequency_e_max_mhz;
    int64_t total_memory_mb;
    char os_name[64];
    char os_version[64];
    char architecture[32];
    int32_t success;
    char error_message[256];
};

// Fills *info from the running machine (the Linux provider rooted at "/").
void collect_system_info(SystemInfo* info);
