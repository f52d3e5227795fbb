#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "sysinfo/result_formatter.h"

namespace {

using RF = ResultFormatter;

SystemInfo machine(const char* model, int32_t mhz, int32_t p_max, int32_t e_max) {
    SystemInfo info{};
    std::snprintf(info.cpu_model, sizeof info.cpu_model, "%s", model);
    info.cpu_frequency_mhz = mhz;
    info.cpu_frequency_p_max_mhz = p_max;
    info.cpu_frequency_e_max_mhz = e_max;
    info.success = 1;
    return info;
}

TEST(ResultFormatter, ScoreAndTime) {
    BenchmarkResult r{};
    r.success = 1;
    r.score = 1234.6;
    r.elapsed_time = 12.3456;
    EXPECT_EQ(RF::formatScore(r), "1235");
    EXPECT_EQ(RF::formatTime(r), "12.346 sec");
    r.success = 0;
    EXPECT_EQ(RF::formatScore(r), "--");
    EXPECT_EQ(RF::formatTime(r), "--");
}

// The CPU line gains "@x.xxGHz" from the performance maximum alone; the
// frequency line disappears only when both cluster maxima are known.
TEST(ResultFormatter, CpuLineAndFrequencyLine) {
    struct Case { int32_t mhz, p_max, e_max; const char* cpu; std::optional<std::string> frequency; };
    const Case cases[] = {
        {2400, 3230, 2064, "Apple M1@3.23GHz", std::nullopt},
        {2400, 3230, 0, "Apple M1@3.23GHz", "2400 MHz"},
        {2400, 0, 2064, "Apple M1", "2400 MHz"},
        {2400, 999, 0, "Apple M1@1.00GHz", "2400 MHz"},
        {0, 0, 0, "Apple M1", std::nullopt},
    };
    for (const Case& c : cases) {
        const SystemInfo info = machine("Apple M1", c.mhz, c.p_max, c.e_max);
        EXPECT_EQ(RF::formatCPU(info), c.cpu) << c.p_max << " " << c.e_max;
        EXPECT_EQ(RF::formatFrequency(info), c.frequency) << c.p_max << " " << c.e_max;
    }
    // A field without its NUL is read only up to its end.
    SystemInfo unterminated = machine("", 0, 0, 0);
    std::memset(unterminated.cpu_model, 'q', sizeof unterminated.cpu_model);
    EXPECT_EQ(RF::formatCPU(unterminated), std::string(128, 'q'));
}

TEST(ResultFormatter, CoreMemoryOsAndArchitectureLines) {
    struct Case { int32_t p, e, physical, logical; const char* text; };
    for (const Case& c : {Case{4, 6, 10, 10, "4P + 6E cores"}, Case{0, 4, 8, 8, "0P + 4E cores"},
                          Case{0, 0, 8, 16, "8 cores (16 logical)"}, Case{0, 0, 8, 8, "8 cores"}}) {
        SystemInfo info = machine("", 0, 0, 0);
        info.cpu_cores_performance = c.p;
        info.cpu_cores_efficiency = c.e;
        info.cpu_cores_physical = c.physical;
        info.cpu_cores_logical = c.logical;
        EXPECT_EQ(RF::formatCores(info), c.text);
    }
    SystemInfo info = machine("", 0, 0, 0);
    info.total_memory_mb = int64_t{1} << 40;  // needs all 64 bits
    std::snprintf(info.os_name, sizeof info.os_name, "Debian GNU/Linux");
    std::snprintf(info.os_version, sizeof info.os_version, "12 (bookworm)");
    std::snprintf(info.architecture, sizeof info.architecture, "aarch64");
    EXPECT_EQ(RF::formatMemory(info), "1099511627776 MB");
    EXPECT_EQ(RF::formatOS(info), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(RF::formatArchitecture(info), "aarch64");
    info.os_version[0] = '\0';
    EXPECT_EQ(RF::formatOS(info), "Debian GNU/Linux ");  // the separating space stays
}

TEST(ResultFormatter, UnfilledRecordIsUnknownEverywhere) {
    SystemInfo info = machine("Apple M1", 3200, 3200, 0);
    for (const int32_t flag : {0, 2}) {
        info.success = flag;
        for (const auto& text : {RF::formatCPU(info), RF::formatCores(info), RF::formatMemory(info),
                                 RF::formatOS(info), RF::formatArchitecture(info)}) {
            EXPECT_EQ(text, "Unknown");
        }
        EXPECT_EQ(RF::formatFrequency(info), std::nullopt);
    }
}

}  // namespace
