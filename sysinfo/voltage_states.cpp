#include "sysinfo/system_info.h"

int32_t voltage_states_max_mhz(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr) {
        return 0;
    }
    int32_t max_mhz = 0;
    const size_t entries = length / 8;
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = bytes + i * 8;
        // Little-endian whatever the host order; the second word is unused.
        const uint32_t hertz = static_cast<uint32_t>(entry[0]) | static_cast<uint32_t>(entry[1]) << 8 |
                               static_cast<uint32_t>(entry[2]) << 16 | static_cast<uint32_t>(entry[3]) << 24;
        const auto mhz = static_cast<int32_t>(hertz / 1000000u);
        if (mhz > max_mhz) {
            max_mhz = mhz;
        }
    }
    return max_mhz;
}
