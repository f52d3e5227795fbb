// Feeds arbitrary bytes to every parser of kernel and os-release text and
// to the voltage-state reader. The first byte picks the parser so that one
// corpus covers them all; the checks below catch answers that break the
// parsers' promises, not just crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sysinfo/linux_text_parsers.h"
#include "sysinfo/system_info.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void fuzz_cpu_list(std::string_view text) {
    const auto cpus = sysinfo_parse_cpu_list(text);
    if (!cpus) {
        return;
    }
    for (size_t i = 0; i < cpus->size(); ++i) {
        check((*cpus)[i] >= 0 && (*cpus)[i] <= sysinfo_max_cpu_number);
        check(i == 0 || (*cpus)[i - 1] < (*cpus)[i]);
    }
}

void fuzz_numbers(std::string_view text) {
    (void)sysinfo_parse_integer(text);
    if (const auto value = sysinfo_parse_hex_integer(text)) {
        check(*value >= 0);
    }
}

void fuzz_cpuinfo(std::string_view text) {
    if (const auto model = sysinfo_cpuinfo_value(text, "model name")) {
        check(model->data() >= text.data() && model->data() + model->size() <= text.data() + text.size());
    }
    if (const auto name = sysinfo_arm_cpu_name(text)) {
        check(!name->empty());
    }
}

void fuzz_meminfo(std::string_view text) {
    if (const auto bytes = sysinfo_meminfo_total_bytes(text)) {
        check(*bytes >= 0 && *bytes % 1024 == 0);
    }
}

void fuzz_os_release(std::string_view text) {
    for (const std::string_view key : {"NAME", "VERSION", "VERSION_ID"}) {
        if (const auto value = sysinfo_os_release_value(text, key)) {
            check(value->size() <= text.size());
        }
    }
}

void fuzz_voltage_states(const uint8_t* data, size_t size) {
    const int32_t mhz = voltage_states_max_mhz(data, size);
    check(mhz >= 0 && mhz <= 4294);
    check(size >= 8 || mhz == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t selector = data[0];
    ++data;
    --size;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    switch (selector % 6) {
        case 0: fuzz_cpu_list(text); break;
        case 1: fuzz_numbers(text); break;
        case 2: fuzz_cpuinfo(text); break;
        case 3: fuzz_meminfo(text); break;
        case 4: fuzz_os_release(text); break;
        default: fuzz_voltage_states(data, size); break;
    }
    return 0;
}
