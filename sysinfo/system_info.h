// The machine-description record and its collection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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

// One row of device_chip_table: a device model identifier (matched as a
// prefix) and the chip it carries. Frequencies come before counts here.
struct DeviceChipEntry {
    const char* identifier;
    const char* chip_name;
    int32_t p_max_mhz;
    int32_t e_max_mhz;
    int32_t p_cores;
    int32_t e_cores;
};

inline constexpr size_t device_chip_table_rows = 48;

// Devices whose kernel gives no CPU brand string, searched first row first.
extern const DeviceChipEntry device_chip_table[device_chip_table_rows];

// Returns the highest frequency in MHz of a voltage-state blob: whole 8-byte
// entries, each starting with a 32-bit little-endian frequency in hertz.
// Trailing bytes are ignored; a blob shorter than 8 bytes (or null) gives 0.
int32_t voltage_states_max_mhz(const uint8_t* bytes, size_t length);

// A registry entry handed out by a provider; released when destroyed.
class SystemRegistryEntry {
public:
    virtual ~SystemRegistryEntry() = default;

    // Sets *bytes to the contents of the named data property and returns
    // true; returns false when the entry has no such property or it is not
    // a data object.
    virtual bool copy_data_property(const char* name, std::vector<uint8_t>* bytes) const = 0;
};

// Where the collection gets its facts: named kernel parameters and the
// registry. Every operation may fail; failures are answers, not errors.
class SystemInfoProvider {
public:
    virtual ~SystemInfoProvider() = default;

    // Reads the named string parameter into buffer (capacity bytes including
    // the NUL), truncating to capacity - 1 characters. Returns false when
    // the parameter cannot be read.
    virtual bool read_string(const char* name, char* buffer, size_t capacity) = 0;

    // Reads the named integer parameter as a number of `size` bytes (4 or 8)
    // into *value. Returns false when it cannot be read or does not fit.
    virtual bool read_integer(const char* name, size_t size, int64_t* value) = 0;

    // Finds the registry entry of class `class_name` named exactly
    // `entry_name`; null when there is none.
    virtual std::unique_ptr<SystemRegistryEntry> find_registry_entry(const char* class_name,
                                                                     const char* entry_name) = 0;
};

// Integer parameters holding the highest frequency in hertz of the
// performance cores (level 0) and of the efficiency cores (level 1). They
// are asked before the registry, whose 32-bit entries cannot hold 4.295 GHz
// or more; the original platform has no such parameters and answers from
// its registry.
inline constexpr const char* system_info_perflevel0_frequency_parameter = "hw.perflevel0.cpufrequency_max";
inline constexpr const char* system_info_perflevel1_frequency_parameter = "hw.perflevel1.cpufrequency_max";

// String parameter naming the operating system for the OS line; it is asked
// after "hw.memsize". When it fails, os_name is system_info_default_os_name.
inline constexpr const char* system_info_os_name_parameter = "kern.osname";
#if defined(__APPLE__)
inline constexpr const char* system_info_default_os_name = "macOS";
#else
inline constexpr const char* system_info_default_os_name = "Linux";
#endif

// Zeroes *info and fills it from `provider`: CPU model (brand string, else
// the device table, else the model identifier), core counts, frequencies,
// cluster maxima (the per-level parameters, else the "pmgr" registry entry),
// memory, OS and architecture.
// Always sets success to 1.
void collect_system_info(SystemInfo* info, SystemInfoProvider& provider);
