#include "cli/cli_text.h"

#include <cstdio>
#include <optional>

#include "sysinfo/result_formatter.h"

std::vector<std::pair<std::string, std::string>> system_lines(const SystemInfo& info) {
    std::vector<std::pair<std::string, std::string>> lines;
    lines.emplace_back("CPU:", ResultFormatter::formatCPU(info));
    lines.emplace_back("Cores:", ResultFormatter::formatCores(info));
    if (std::optional<std::string> frequency = ResultFormatter::formatFrequency(info)) {
        lines.emplace_back("Frequency:", *frequency);
    }
    lines.emplace_back("Memory:", ResultFormatter::formatMemory(info));
    lines.emplace_back("OS:", ResultFormatter::formatOS(info));
    lines.emplace_back("Architecture:", ResultFormatter::formatArchitecture(info));
    return lines;
}

void print_machine(const SystemInfo& info, const PiEnginePath& path) {
    for (const auto& [label, value] : system_lines(info)) {
        std::printf("%-14s%s\n", label.c_str(), value.c_str());
    }
    std::printf("%-14s%s\n", "Engine:", pi_engine_path_text(path).c_str());
}

nlohmann::json system_json(const SystemInfo& info) {
    return {{"cpu_model", info.cpu_model},
            {"cpu_cores_physical", info.cpu_cores_physical},
            {"cpu_cores_logical", info.cpu_cores_logical},
            {"cpu_frequency_mhz", info.cpu_frequency_mhz},
            {"cpu_cores_performance", info.cpu_cores_performance},
            {"cpu_cores_efficiency", info.cpu_cores_efficiency},
            {"cpu_frequency_p_max_mhz", info.cpu_frequency_p_max_mhz},
            {"cpu_frequency_e_max_mhz", info.cpu_frequency_e_max_mhz},
            {"total_memory_mb", info.total_memory_mb},
            {"os_name", info.os_name},
            {"os_version", info.os_version},
            {"architecture", info.architecture},
            {"success", info.success != 0},
            {"error_message", info.error_message}};
}

nlohmann::json engine_json(const PiEnginePath& path) {
    return {{"transform", path.transform}, {"word_loops", path.word_loops}, {"narrowed", path.narrowed}};
}

std::string json_dump(const nlohmann::json& j) {
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}
