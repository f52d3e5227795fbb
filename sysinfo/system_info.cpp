// Fills SystemInfo from a provider: a fixed order of queries, each with its
// own fallback. A failed query never ends the collection.
#include "sysinfo/system_info.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t hertz_per_mhz = 1000000;
constexpr int64_t bytes_per_mb = 1048576;

// Zeroes the buffer first so a failed read leaves it empty even if the
// provider wrote into it, and makes sure a successful one is terminated.
bool read_string_into(SystemInfoProvider& provider, const char* name, char* buffer, size_t capacity) {
    std::memset(buffer, 0, capacity);
    if (!provider.read_string(name, buffer, capacity)) {
        std::memset(buffer, 0, capacity);
        return false;
    }
    buffer[capacity - 1] = '\0';
    return true;
}

// A failed integer query counts as 0.
int64_t read_integer_or_zero(SystemInfoProvider& provider, const char* name, size_t size) {
    int64_t value = 0;
    if (!provider.read_integer(name, size, &value)) {
        return 0;
    }
    return value;
}

int32_t read_int32_or_zero(SystemInfoProvider& provider, const char* name) {
    return static_cast<int32_t>(read_integer_or_zero(provider, name, sizeof(int32_t)));
}

const DeviceChipEntry* find_device_chip(const char* model_identifier) {
    for (const DeviceChipEntry& row : device_chip_table) {
        if (std::strncmp(model_identifier, row.identifier, std::strlen(row.identifier)) == 0) {
            return &row;
        }
    }
    return nullptr;
}

void collect_cpu_model(SystemInfo* info, SystemInfoProvider& provider) {
    if (read_string_into(provider, "machdep.cpu.brand_string", info->cpu_model, sizeof info->cpu_model)) {
        return;
    }
    char model_identifier[64];
    if (!read_string_into(provider, "hw.machine", model_identifier, sizeof model_identifier)) {
        return;
    }
    const DeviceChipEntry* row = find_device_chip(model_identifier);
    if (row == nullptr) {
        std::snprintf(info->cpu_model, sizeof info->cpu_model, "%s", model_identifier);
        return;
    }
    std::snprintf(info->cpu_model, sizeof info->cpu_model, "%s", row->chip_name);
    info->cpu_cores_performance = row->p_cores;
    info->cpu_cores_efficiency = row->e_cores;
    info->cpu_frequency_p_max_mhz = row->p_max_mhz;
    info->cpu_frequency_e_max_mhz = row->e_max_mhz;
}

void collect_core_counts(SystemInfo* info, SystemInfoProvider& provider) {
    info->cpu_cores_physical = read_int32_or_zero(provider, "hw.physicalcpu");
    info->cpu_cores_logical = read_int32_or_zero(provider, "hw.logicalcpu");
    if (info->cpu_cores_physical == 0) {
        info->cpu_cores_physical = read_int32_or_zero(provider, "hw.ncpu");
        if (info->cpu_cores_logical == 0) {
            info->cpu_cores_logical = info->cpu_cores_physical;
        }
    } else if (info->cpu_cores_logical == 0) {
        info->cpu_cores_logical = info->cpu_cores_physical;
    }
    // A table row already gave the split.
    if (info->cpu_cores_performance == 0 && info->cpu_cores_efficiency == 0) {
        info->cpu_cores_performance = read_int32_or_zero(provider, "hw.perflevel0.physicalcpu");
        info->cpu_cores_efficiency = read_int32_or_zero(provider, "hw.perflevel1.physicalcpu");
    }
}

void collect_frequency(SystemInfo* info, SystemInfoProvider& provider) {
    int64_t hertz = read_integer_or_zero(provider, "hw.cpufrequency", sizeof(int64_t));
    if (hertz <= 0) {
        hertz = read_integer_or_zero(provider, "hw.cpufrequency_max", sizeof(int64_t));
    }
    if (hertz >= 1) {
        info->cpu_frequency_mhz = static_cast<int32_t>(hertz / hertz_per_mhz);
    }
}

int32_t property_max_mhz(const SystemRegistryEntry& entry, const char* name) {
    std::vector<uint8_t> bytes;
    if (!entry.copy_data_property(name, &bytes)) {
        return 0;
    }
    return voltage_states_max_mhz(bytes.data(), bytes.size());
}

int32_t level_max_mhz(SystemInfoProvider& provider, const char* name) {
    const int64_t mhz = read_integer_or_zero(provider, name, sizeof(int64_t)) / hertz_per_mhz;
    return mhz > 0 && mhz <= INT32_MAX ? static_cast<int32_t>(mhz) : 0;
}

// Only for machines that report performance levels but no cluster maxima,
// so never after a table match. The registry fills what the per-level
// parameters left at 0.
void collect_cluster_frequencies(SystemInfo* info, SystemInfoProvider& provider) {
    const bool has_levels = info->cpu_cores_performance > 0 || info->cpu_cores_efficiency > 0;
    const bool maxima_known = info->cpu_frequency_p_max_mhz != 0 || info->cpu_frequency_e_max_mhz != 0;
    if (!has_levels || maxima_known) {
        return;
    }
    info->cpu_frequency_p_max_mhz = level_max_mhz(provider, system_info_perflevel0_frequency_parameter);
    info->cpu_frequency_e_max_mhz = level_max_mhz(provider, system_info_perflevel1_frequency_parameter);
    if (info->cpu_frequency_p_max_mhz != 0 && info->cpu_frequency_e_max_mhz != 0) {
        return;
    }
    const std::unique_ptr<SystemRegistryEntry> pmgr = provider.find_registry_entry("AppleARMIODevice", "pmgr");
    if (!pmgr) {
        return;
    }
    if (info->cpu_frequency_e_max_mhz == 0) {
        info->cpu_frequency_e_max_mhz = property_max_mhz(*pmgr, "voltage-states1-sram");
    }
    if (info->cpu_frequency_p_max_mhz == 0) {
        info->cpu_frequency_p_max_mhz = property_max_mhz(*pmgr, "voltage-states5-sram");
    }
}

void collect_memory(SystemInfo* info, SystemInfoProvider& provider) {
    info->total_memory_mb = read_integer_or_zero(provider, "hw.memsize", sizeof(int64_t)) / bytes_per_mb;
}

void collect_os_name(SystemInfo* info, SystemInfoProvider& provider) {
    if (!read_string_into(provider, system_info_os_name_parameter, info->os_name, sizeof info->os_name)) {
        std::snprintf(info->os_name, sizeof info->os_name, "%s", system_info_default_os_name);
    }
}

void collect_os_version(SystemInfo* info, SystemInfoProvider& provider) {
    char release[64];
    if (!read_string_into(provider, "kern.osrelease", release, sizeof release)) {
        return;
    }
    char version[64];
    const char* shown = read_string_into(provider, "kern.osversion", version, sizeof version) ? version : release;
    std::snprintf(info->os_version, sizeof info->os_version, "%s", shown);
}

void collect_architecture(SystemInfo* info, SystemInfoProvider& provider) {
    char machine[32];
    if (read_string_into(provider, "hw.machine", machine, sizeof machine)) {
        std::snprintf(info->architecture, sizeof info->architecture, "%s", machine);
    }
}

}  // namespace

void collect_system_info(SystemInfo* info, SystemInfoProvider& provider) {
    if (info == nullptr) {
        return;
    }
    std::memset(info, 0, sizeof *info);
    collect_cpu_model(info, provider);
    collect_core_counts(info, provider);
    collect_frequency(info, provider);
    collect_cluster_frequencies(info, provider);
    collect_memory(info, provider);
    collect_os_name(info, provider);
    collect_os_version(info, provider);
    collect_architecture(info, provider);
    info->success = 1;
}
