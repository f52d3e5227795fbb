#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "sysinfo/result_formatter.h"

namespace {

BenchmarkResult result(int32_t success, double score, double seconds) {
    BenchmarkResult r{};
    r.success = success;
    r.score = score;
    r.elapsed_time = seconds;
    return r;
}

SystemInfo filled() {
    SystemInfo info{};
    info.success = 1;
    return info;
}

TEST(ResultFormatter, ScoreAndTime) {
    EXPECT_EQ(ResultFormatter::formatScore(result(1, 1234.4, 1)), "1234");
    EXPECT_EQ(ResultFormatter::formatScore(result(1, 1234.6, 1)), "1235");
    EXPECT_EQ(ResultFormatter::formatScore(result(1, 0.0, 1)), "0");
    EXPECT_EQ(ResultFormatter::formatTime(result(1, 0, 12.3456)), "12.346 sec");
    EXPECT_EQ(ResultFormatter::formatTime(result(1, 0, 0.0004)), "0.000 sec");
    EXPECT_EQ(ResultFormatter::formatTime(result(0, 0, 12.3456)), "--");
}

TEST(ResultFormatter, CpuLineTakesGigahertzFromPerformanceMaximum) {
    SystemInfo info = filled();
    std::snprintf(info.cpu_model, sizeof info.cpu_model, "A15 Bionic");
    info.cpu_frequency_p_max_mhz = 3230;
    EXPECT_EQ(ResultFormatter::formatCPU(info), "A15 Bionic@3.23GHz");
    info.cpu_frequency_p_max_mhz = 4050;
    EXPECT_EQ(ResultFormatter::formatCPU(info), "A15 Bionic@4.05GHz");
    info.cpu_frequency_p_max_mhz = 999;
    EXPECT_EQ(ResultFormatter::formatCPU(info), "A15 Bionic@1.00GHz");
    info.cpu_frequency_p_max_mhz = 0;
    EXPECT_EQ(ResultFormatter::formatCPU(info), "A15 Bionic");
    info.cpu_model[0] = '\0';
    EXPECT_EQ(ResultFormatter::formatCPU(info), "");
    // A field without its NUL is read only up to its end.
    std::memset(info.cpu_model, 'q', sizeof info.cpu_model);
    EXPECT_EQ(ResultFormatter::formatCPU(info), std::string(128, 'q'));
}

TEST(ResultFormatter, CoreLine) {
    SystemInfo info = filled();
    info.cpu_cores_performance = 4;
    info.cpu_cores_efficiency = 6;
    info.cpu_cores_physical = 10;
    info.cpu_cores_logical = 10;
    EXPECT_EQ(ResultFormatter::formatCores(info), "4P + 6E cores");
    info.cpu_cores_performance = 0;
    info.cpu_cores_efficiency = 4;
    EXPECT_EQ(ResultFormatter::formatCores(info), "0P + 4E cores");
    info.cpu_cores_efficiency = 0;
    info.cpu_cores_physical = 8;
    info.cpu_cores_logical = 16;
    EXPECT_EQ(ResultFormatter::formatCores(info), "8 cores (16 logical)");
    info.cpu_cores_logical = 8;
    EXPECT_EQ(ResultFormatter::formatCores(info), "8 cores");
    EXPECT_EQ(ResultFormatter::formatCores(filled()), "0 cores");
}

TEST(ResultFormatter, FrequencyLineDisappearsOnlyWithBothClusterMaxima) {
    SystemInfo info = filled();
    std::snprintf(info.cpu_model, sizeof info.cpu_model, "Apple M1");
    info.cpu_frequency_mhz = 2400;
    info.cpu_frequency_p_max_mhz = 3230;
    info.cpu_frequency_e_max_mhz = 2064;
    EXPECT_EQ(ResultFormatter::formatFrequency(info), std::nullopt);
    // P maximum known, E maximum not: both the suffix and the MHz line.
    info.cpu_frequency_e_max_mhz = 0;
    EXPECT_EQ(ResultFormatter::formatCPU(info), "Apple M1@3.23GHz");
    EXPECT_EQ(ResultFormatter::formatFrequency(info), std::optional<std::string>("2400 MHz"));
    info.cpu_frequency_p_max_mhz = 0;
    EXPECT_EQ(ResultFormatter::formatFrequency(info), std::optional<std::string>("2400 MHz"));
    info.cpu_frequency_e_max_mhz = 2064;  // E alone neither hides the line nor adds a suffix
    EXPECT_EQ(ResultFormatter::formatFrequency(info), std::optional<std::string>("2400 MHz"));
    EXPECT_EQ(ResultFormatter::formatCPU(info), "Apple M1");
    EXPECT_EQ(ResultFormatter::formatFrequency(filled()), std::nullopt);
}

TEST(ResultFormatter, MemoryOsAndArchitecture) {
    SystemInfo info = filled();
    info.total_memory_mb = 16384;
    EXPECT_EQ(ResultFormatter::formatMemory(info), "16384 MB");
    info.total_memory_mb = int64_t{1} << 40;  // needs all 64 bits
    EXPECT_EQ(ResultFormatter::formatMemory(info), "1099511627776 MB");
    EXPECT_EQ(ResultFormatter::formatMemory(filled()), "0 MB");
    std::snprintf(info.os_name, sizeof info.os_name, "macOS");
    EXPECT_EQ(ResultFormatter::formatOS(info), "macOS ");
    std::snprintf(info.os_name, sizeof info.os_name, "Debian GNU/Linux");
    std::snprintf(info.os_version, sizeof info.os_version, "12 (bookworm)");
    EXPECT_EQ(ResultFormatter::formatOS(info), "Debian GNU/Linux 12 (bookworm)");
    std::snprintf(info.architecture, sizeof info.architecture, "aarch64");
    EXPECT_EQ(ResultFormatter::formatArchitecture(info), "aarch64");
}

TEST(ResultFormatter, UnfilledRecordIsUnknownEverywhere) {
    SystemInfo info{};
    std::snprintf(info.cpu_model, sizeof info.cpu_model, "Apple M1");
    std::snprintf(info.architecture, sizeof info.architecture, "arm64");
    info.cpu_cores_physical = 8;
    info.cpu_frequency_mhz = 3200;
    info.cpu_frequency_p_max_mhz = 3200;
    info.total_memory_mb = 8192;
    for (const int32_t flag : {0, 2, -1}) {
        info.success = flag;
        EXPECT_EQ(ResultFormatter::formatCPU(info), "Unknown");
        EXPECT_EQ(ResultFormatter::formatCores(info), "Unknown");
        EXPECT_EQ(ResultFormatter::formatFrequency(info), std::nullopt);
        EXPECT_EQ(ResultFormatter::formatMemory(info), "Unknown");
        EXPECT_EQ(ResultFormatter::formatOS(info), "Unknown");
        EXPECT_EQ(ResultFormatter::formatArchitecture(info), "Unknown");
    }
}

}  // namespace
