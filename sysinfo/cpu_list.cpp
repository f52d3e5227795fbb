#include "sysinfo/cpu_list.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>

#include "sysinfo/linux_system_provider.h"
#include "sysinfo/linux_text_parsers.h"

namespace {

constexpr std::string_view cpu_directory = "/sys/devices/system/cpu";

std::string without_trailing_slash(std::string root) {
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root;
}

std::optional<std::string> read_below(const std::string& root, std::string_view relative) {
    return sysinfo_read_file(without_trailing_slash(root) + std::string(relative), sysinfo_max_file_bytes);
}

std::optional<int64_t> read_number_below(const std::string& root, std::string_view relative) {
    const std::optional<std::string> text = read_below(root, relative);
    return text ? sysinfo_parse_integer(*text) : std::nullopt;
}

std::string cpu_file(int32_t cpu, std::string_view file) {
    return std::string(cpu_directory) + "/cpu" + std::to_string(cpu) + "/" + std::string(file);
}

std::optional<std::vector<int32_t>> read_cpu_list(const std::string& root, std::string_view relative) {
    const std::optional<std::string> text = read_below(root, relative);
    return text ? sysinfo_parse_cpu_list(*text) : std::nullopt;
}

// The cpuN directories, for kernels (or trees) without an online list.
std::vector<int32_t> cpu_directories(const std::string& root) {
    std::vector<int32_t> cpus;
    std::error_code error;
    std::filesystem::directory_iterator entries(without_trailing_slash(root) + std::string(cpu_directory), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (name.size() <= 3 || name.compare(0, 3, "cpu") != 0) continue;
        const std::optional<int64_t> number = sysinfo_parse_integer(std::string_view(name).substr(3));
        if (number && *number >= 0 && *number <= sysinfo_max_cpu_number &&
            name.find_first_not_of("0123456789", 3) == std::string::npos) {
            cpus.push_back(static_cast<int32_t>(*number));
        }
    }
    std::sort(cpus.begin(), cpus.end());
    return cpus;
}

bool contains(const std::vector<int32_t>& sorted, int32_t cpu) {
    return std::binary_search(sorted.begin(), sorted.end(), cpu);
}

// Kinds from the hybrid PMU lists; false when the machine has none or one
// of them covers no online CPU.
bool kinds_from_pmus(const std::string& root, std::vector<SysinfoCpu>& cpus) {
    const auto big = read_cpu_list(root, "/sys/devices/cpu_core/cpus");
    const auto small = read_cpu_list(root, "/sys/devices/cpu_atom/cpus");
    if (!big || !small) return false;
    bool any_big = false, any_small = false;
    for (const SysinfoCpu& cpu : cpus) {
        any_big = any_big || contains(*big, cpu.number);
        any_small = any_small || contains(*small, cpu.number);
    }
    if (!any_big || !any_small) return false;
    for (SysinfoCpu& cpu : cpus) {
        cpu.kind = contains(*big, cpu.number)     ? SysinfoCpuKind::performance
                   : contains(*small, cpu.number) ? SysinfoCpuKind::efficiency
                                                  : SysinfoCpuKind::unknown;
    }
    return true;
}

// Kinds from the scheduler's capacities: every CPU must have one, and they
// must differ.
bool kinds_from_capacity(const std::string& root, std::vector<SysinfoCpu>& cpus) {
    std::vector<int64_t> capacities;
    for (const SysinfoCpu& cpu : cpus) {
        const std::optional<int64_t> capacity = read_number_below(root, cpu_file(cpu.number, "cpu_capacity"));
        if (!capacity || *capacity <= 0) return false;
        capacities.push_back(*capacity);
    }
    const auto [smallest, largest] = std::minmax_element(capacities.begin(), capacities.end());
    if (capacities.empty() || *smallest == *largest) return false;
    for (size_t i = 0; i < cpus.size(); ++i) {
        cpus[i].kind = capacities[i] == *largest ? SysinfoCpuKind::performance : SysinfoCpuKind::efficiency;
    }
    return true;
}

std::string_view trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::optional<double> parse_positive_double(std::string_view text) {
    text = trim(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !(value > 0.0) ||
        value > 1e9) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

const char* sysinfo_cpu_kind_name(SysinfoCpuKind kind) {
    switch (kind) {
        case SysinfoCpuKind::performance: return "performance";
        case SysinfoCpuKind::efficiency: return "efficiency";
        case SysinfoCpuKind::unknown: break;
    }
    return "unknown";
}

std::vector<SysinfoCpu> sysinfo_cpu_list(const std::string& root) {
    std::vector<int32_t> numbers;
    if (auto online = read_cpu_list(root, "/sys/devices/system/cpu/online"); online && !online->empty()) {
        numbers = std::move(*online);
    } else {
        numbers = cpu_directories(root);
    }
    std::vector<SysinfoCpu> cpus;
    cpus.reserve(numbers.size());
    for (const int32_t number : numbers) cpus.push_back({number, SysinfoCpuKind::unknown});
    if (!kinds_from_pmus(root, cpus)) kinds_from_capacity(root, cpus);
    return cpus;
}

bool sysinfo_cpu_list_is_hybrid(const std::vector<SysinfoCpu>& cpus) {
    bool performance = false, efficiency = false;
    for (const SysinfoCpu& cpu : cpus) {
        performance = performance || cpu.kind == SysinfoCpuKind::performance;
        efficiency = efficiency || cpu.kind == SysinfoCpuKind::efficiency;
    }
    return performance && efficiency;
}

std::optional<double> sysinfo_cpuinfo_clock_mhz(std::string_view cpuinfo, int32_t cpu) {
    // Entries are blank-line separated and start with their "processor" line.
    bool inside = false;
    while (!cpuinfo.empty()) {
        const size_t end = cpuinfo.find('\n');
        const std::string_view line = cpuinfo.substr(0, end);
        cpuinfo.remove_prefix(end == std::string_view::npos ? cpuinfo.size() : end + 1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = line.substr(colon + 1);
        if (key == "processor") {
            inside = sysinfo_parse_integer(value) == std::optional<int64_t>(cpu);
        } else if (inside && key == "cpu MHz") {
            return parse_positive_double(value);
        }
    }
    return std::nullopt;
}

std::vector<double> sysinfo_cpu_clocks_mhz(const std::string& root, const std::vector<int32_t>& cpus) {
    std::vector<double> clocks(cpus.size(), 0.0);
    std::optional<std::string> cpuinfo;
    bool cpuinfo_read = false;
    for (size_t i = 0; i < cpus.size(); ++i) {
        const std::optional<int64_t> khz = read_number_below(root, cpu_file(cpus[i], "cpufreq/scaling_cur_freq"));
        if (khz && *khz > 0) {
            clocks[i] = static_cast<double>(*khz) / 1000.0;
            continue;
        }
        if (!cpuinfo_read) {
            cpuinfo = read_below(root, "/proc/cpuinfo");
            cpuinfo_read = true;
        }
        if (cpuinfo) clocks[i] = sysinfo_cpuinfo_clock_mhz(*cpuinfo, cpus[i]).value_or(0.0);
    }
    return clocks;
}

std::optional<int64_t> sysinfo_meminfo_available_bytes(std::string_view meminfo) {
    constexpr std::string_view label = "MemAvailable:";
    while (!meminfo.empty()) {
        const size_t end = meminfo.find('\n');
        const std::string_view line = meminfo.substr(0, end);
        meminfo.remove_prefix(end == std::string_view::npos ? meminfo.size() : end + 1);
        if (line.substr(0, label.size()) != label) continue;
        std::string_view rest = trim(line.substr(label.size()));
        const size_t blank = rest.find_first_of(" \t");
        if (blank == std::string_view::npos || trim(rest.substr(blank)) != "kB") return std::nullopt;
        const std::optional<int64_t> kib = sysinfo_parse_integer(rest.substr(0, blank));
        if (!kib || *kib < 0 || *kib > std::numeric_limits<int64_t>::max() / 1024) return std::nullopt;
        return *kib * 1024;
    }
    return std::nullopt;
}

std::optional<int64_t> sysinfo_available_memory_bytes(const std::string& root) {
    const std::optional<std::string> meminfo = read_below(root, "/proc/meminfo");
    return meminfo ? sysinfo_meminfo_available_bytes(*meminfo) : std::nullopt;
}
