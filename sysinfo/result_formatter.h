// Display texts for a benchmark result and for the machine facts.
#pragma once

#include <optional>
#include <string>

#include "engine/benchmark.h"
#include "sysinfo/system_info.h"

// Stateless: every function depends on its argument only.
class ResultFormatter {
public:
    ResultFormatter() = delete;

    static std::string formatScore(const BenchmarkResult& result);
    static std::string formatTime(const BenchmarkResult& result);

    static std::string formatCPU(const SystemInfo& info);
    static std::string formatCores(const SystemInfo& info);
    // No string when the frequency line should be left out.
    static std::optional<std::string> formatFrequency(const SystemInfo& info);
    static std::string formatMemory(const SystemInfo& info);
    static std::string formatOS(const SystemInfo& info);
    static std::string formatArchitecture(const SystemInfo& info);
};
