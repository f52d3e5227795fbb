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
