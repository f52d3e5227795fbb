#include "sysinfo/result_formatter.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

__attribute__((format(printf, 1, 2))) std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list sizing;
    va_copy(sizing, args);
    const int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

// Record fields are NUL-terminated when filled by the collection; a record
// built elsewhere may not be, so never read past the field.
template <size_t N>
std::string field_text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

const char* const unknown_text = "Unknown";
const char* const no_value_text = "--";

}  // namespace

std::string ResultFormatter::formatScore(const BenchmarkResult& result) {
    if (result.success != 1) {
        return no_value_text;
    }
    return format_text("%.0f", result.score);
}

std::string ResultFormatter::formatTime(const BenchmarkResult& result) {
    if (result.success != 1) {
        return no_value_text;
    }
    return format_text("%.3f sec", result.elapsed_time);
}

std::string ResultFormatter::formatCPU(const SystemInfo& info) {
    if (info.success != 1) {
        return unknown_text;
    }
    const std::string model = field_text(info.cpu_model);
    if (info.cpu_frequency_p_max_mhz >= 1) {
        return format_text("%s@%.2fGHz", model.c_str(), info.cpu_frequency_p_max_mhz / 1000.0);
    }
    return model;
}

std::string ResultFormatter::formatCores(const SystemInfo& info) {
    if (info.success != 1) {
        return unknown_text;
    }
    if (info.cpu_cores_performance > 0 || info.cpu_cores_efficiency > 0) {
        return format_text("%dP + %dE cores", info.cpu_cores_performance, info.cpu_cores_efficiency);
    }
    if (info.cpu_cores_physical == info.cpu_cores_logical) {
        return format_text("%d cores", info.cpu_cores_physical);
    }
    return format_text("%d cores (%d logical)", info.cpu_cores_physical, info.cpu_cores_logical);
}

std::optional<std::string> ResultFormatter::formatFrequency(const SystemInfo& info) {
    if (info.success != 1) {
        return std::nullopt;
    }
    // With both cluster maxima known the CPU line carries the frequency.
    if (info.cpu_frequency_p_max_mhz >= 1 && info.cpu_frequency_e_max_mhz >= 1) {
        return std::nullopt;
    }
    if (info.cpu_frequency_mhz < 1) {
        return std::nullopt;
    }
    return format_text("%d MHz", info.cpu_frequency_mhz);
}

std::string ResultFormatter::formatMemory(const SystemInfo& info) {
    if (info.success != 1) {
        return unknown_text;
    }
    return format_text("%lld MB", static_cast<long long>(info.total_memory_mb));
}

std::string ResultFormatter::formatOS(const SystemInfo& info) {
    if (info.success != 1) {
        return unknown_text;
    }
    return format_text("%s %s", field_text(info.os_name).c_str(), field_text(info.os_version).c_str());
}

std::string ResultFormatter::formatArchitecture(const SystemInfo& info) {
    if (info.success != 1) {
        return unknown_text;
    }
    return field_text(info.architecture);
}
