// The per-CPU list: kinds on the fixture machines and on odd trees written
// at run time, the current clocks, and MemAvailable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "describe.h"
#include "sysinfo/cpu_list.h"

namespace {

const std::string fixtures = NUMERA_SYSINFO_FIXTURES;

// "0-3P 4-11E": runs of consecutive CPUs of one kind, as a person would
// write them down from the fixture's README.
std::string describe(const std::vector<SysinfoCpu>& cpus) {
    std::string text;
    for (size_t i = 0; i < cpus.size();) {
        size_t j = i;
        while (j + 1 < cpus.size() && cpus[j + 1].number == cpus[j].number + 1 && cpus[j + 1].kind == cpus[i].kind) ++j;
        if (!text.empty()) text += ' ';
        text += std::to_string(cpus[i].number);
        if (j > i) {
            // Appended in two steps: GCC 12 warns falsely (-Wrestrict) on "-" + string.
            text += '-';
            text += std::to_string(cpus[j].number);
        }
        text += cpus[i].kind == SysinfoCpuKind::performance  ? "P"
                : cpus[i].kind == SysinfoCpuKind::efficiency ? "E"
                                                             : "?";
        i = j + 1;
    }
    return text;
}

TEST(PerCpuList, FixtureMachines) {
    const std::pair<const char*, const char*> machines[] = {
        {"intel_hybrid_i5_1235u", "0-3P 4-11E"},         // the PMU lists
        {"intel_hybrid_i9_13900k", "0-15P 16-31E"},
        {"arm64_big_little_rk3399", "0-3E 4-5P"},        // capacities 485 and 1024
        {"amd_ryzen_7950x", "0-31?"},                    // equal capacities: one kind
        {"captured_amd_epyc_debian12", "0-1?"},
        {"vm_xeon_no_cpufreq", "0-3?"},                  // no capacity at all
    };
    for (const auto& [tree, expected] : machines) {
        const std::vector<SysinfoCpu> cpus = sysinfo_cpu_list(fixtures + "/" + tree);
        EXPECT_EQ(describe(cpus), expected) << tree;
        EXPECT_EQ(sysinfo_cpu_list_is_hybrid(cpus), std::string(expected).find('E') != std::string::npos) << tree;
    }
    EXPECT_TRUE(sysinfo_cpu_list("/nonexistent-root").empty());
    // The running machine: as many online CPUs as the C library counts.
    EXPECT_EQ(static_cast<long>(sysinfo_cpu_list().size()), sysconf(_SC_NPROCESSORS_ONLN));
}

// Offline CPUs are left out, also from the PMU lists; a hybrid machine with
// every efficiency core offline has one kind left.
TEST(PerCpuList, OfflineCpusAndFallbacks) {
    Tree t("offline");
    for (int cpu = 0; cpu < 6; ++cpu) t.put("sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/uevent", "");
    t.put("sys/devices/system/cpu/online", "0,2-3,5\n");
    t.put("sys/devices/cpu_core/cpus", "0-1\n");
    t.put("sys/devices/cpu_atom/cpus", "2-5\n");
    EXPECT_EQ(describe(sysinfo_cpu_list(t.root.string())), "0P 2-3E 5E");

    t.put("sys/devices/system/cpu/online", "0-1\n");
    EXPECT_EQ(describe(sysinfo_cpu_list(t.root.string())), "0-1?");

    // No online list (or a broken one): the cpuN folders, not "cpufreq" or "cpuidle".
    t.put("sys/devices/system/cpu/online", "0-\n");
    t.put("sys/devices/system/cpu/cpufreq/boost", "1\n");
    t.put("sys/devices/system/cpu/cpuidle/current_driver", "none\n");
    EXPECT_EQ(describe(sysinfo_cpu_list(t.root.string() + "/")), "0-1P 2-5E");

    // Capacities: one missing CPU means the kinds are unknown.
    Tree c("capacity");
    c.put("sys/devices/system/cpu/online", "0-2\n");
    c.put("sys/devices/system/cpu/cpu0/cpu_capacity", "1024\n");
    c.put("sys/devices/system/cpu/cpu1/cpu_capacity", "512\n");
    EXPECT_EQ(describe(sysinfo_cpu_list(c.root.string())), "0-2?");
    // Three tiers: all below the largest are efficiency cores.
    c.put("sys/devices/system/cpu/cpu2/cpu_capacity", "800\n");
    EXPECT_EQ(describe(sysinfo_cpu_list(c.root.string())), "0P 1-2E");
}

// cpufreq first, then the CPU's own "cpu MHz" line (entries need not be in
// order, and processor 1 is not processor 10), else 0.
TEST(PerCpuList, CurrentClocks) {
    Tree t("clocks");
    t.put("sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "2400000\n");
    t.put("sys/devices/system/cpu/cpu1/cpufreq/scaling_cur_freq", "0\n");
    t.put("proc/cpuinfo",
          "processor\t: 10\ncpu MHz\t\t: 999.000\n\n"
          "processor\t: 1\nvendor_id\t: AuthenticAMD\ncpu MHz\t\t: 1800.500\n\n"
          "processor\t: 0\ncpu MHz\t\t: 1234.000\n\n"
          "processor\t: 2\nmodel name\t: no clock here\n\n"
          "processor\t: 3\ncpu MHz\t\t: fast\n");
    const std::vector<double> clocks = sysinfo_cpu_clocks_mhz(t.root.string(), {0, 1, 2, 3, 10, 11});
    EXPECT_EQ(clocks, (std::vector<double>{2400.0, 1800.5, 0.0, 0.0, 999.0, 0.0}));
    EXPECT_EQ(sysinfo_cpu_clocks_mhz("/nonexistent-root", {0}), std::vector<double>{0.0});

    // The running machine: every online CPU reports something plausible
    // where the kernel publishes a clock at all.
    std::vector<int32_t> online;
    for (const SysinfoCpu& cpu : sysinfo_cpu_list()) online.push_back(cpu.number);
    for (const double mhz : sysinfo_cpu_clocks_mhz("/", online)) {
        EXPECT_TRUE(mhz == 0.0 || (mhz > 100.0 && mhz < 10000.0)) << mhz;
    }
}

TEST(PerCpuList, AvailableMemory) {
    EXPECT_EQ(sysinfo_available_memory_bytes(fixtures + "/intel_hybrid_i5_1235u"), int64_t{12345678} * 1024);
    EXPECT_EQ(sysinfo_meminfo_available_bytes("MemTotal: 100 kB\nMemAvailable:   7 kB\n"), 7 * 1024);
    for (const char* bad : {"MemTotal: 100 kB\n", "MemAvailable: 7\n", "MemAvailable: 7 MB\n",
                            "MemAvailable: -7 kB\n", "MemAvailable: x kB\n", "MemAvailable: 99999999999999999 kB\n"}) {
        EXPECT_EQ(sysinfo_meminfo_available_bytes(bad), std::nullopt) << bad;
    }
    const std::optional<int64_t> live = sysinfo_available_memory_bytes();
    ASSERT_TRUE(live.has_value());
    EXPECT_GT(*live, 0);
    EXPECT_LE(*live, static_cast<int64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE));
}

}  // namespace
