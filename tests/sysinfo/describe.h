// A whole SystemInfo record on one line, so that a test compares every field
// at once and a failure shows them all.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "sysinfo/system_info.h"

inline std::string describe(const SystemInfo& i) {
    char line[512];
    std::snprintf(line, sizeof line, "%.*s | %d/%d cores %dP+%dE | %d MHz max %d/%d | %lld MB | %.*s | %.*s | %.*s | %d",
                  128, i.cpu_model, i.cpu_cores_physical, i.cpu_cores_logical, i.cpu_cores_performance,
                  i.cpu_cores_efficiency, i.cpu_frequency_mhz, i.cpu_frequency_p_max_mhz, i.cpu_frequency_e_max_mhz,
                  static_cast<long long>(i.total_memory_mb), 64, i.os_name, 64, i.os_version, 32, i.architecture,
                  i.success);
    return line;
}
