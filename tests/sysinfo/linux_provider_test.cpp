// The Linux provider on captured and synthetic trees, on odd trees written
// at run time, and on the running machine.
#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sysinfo/linux_system_provider.h"
#include "sysinfo/result_formatter.h"
#include "describe.h"

namespace {

namespace fs = std::filesystem;

const std::string fixtures = NUMERA_SYSINFO_FIXTURES;

SystemInfo collect_from(const std::string& root) {
    LinuxSystemProvider provider(root);
    SystemInfo info;
    collect_system_info(&info, provider);
    return info;
}

// Figures worked out by hand from the fixture files (see fixtures/README.md).
// The i5's P-cores reach 4.4 GHz, more than a voltage-state entry holds: no P maximum.
TEST(LinuxProvider, FixtureMachines) {
    const std::pair<const char*, const char*> machines[] = {
        {"captured_amd_epyc_debian12",
         "AMD EPYC | 2/2 cores 0P+0E | 0 MHz max 0/0 | 24105 MB | Debian GNU/Linux | 12 (bookworm) | x86_64 | 1"},
        {"intel_hybrid_i5_1235u", "12th Gen Intel(R) Core(TM) i5-1235U | 10/12 cores 2P+8E | 1300 MHz max 0/3300 | "
                                  "15623 MB | Fedora Linux | 39 (Workstation Edition) | x86_64 | 1"},
        {"arm64_big_little_rk3399", "ARM Cortex-A53 + Cortex-A72 | 6/6 cores 2P+4E | 1800 MHz max 1800/1416 | "
                                    "3871 MB | Ubuntu | 22.04.4 LTS (Jammy Jellyfish) | aarch64 | 1"},
        {"vm_xeon_no_cpufreq", "Intel(R) Xeon(R) Platinum 8375C CPU @ 2.90GHz | 2/4 cores 0P+0E | 0 MHz max 0/0 | "
                               "7850 MB | Alpine Linux | 3.19.1 | x86_64 | 1"},
    };
    for (const auto& [tree, expected] : machines) {
        EXPECT_EQ(describe(collect_from(fixtures + "/" + tree)), expected) << tree;
    }
}

TEST(LinuxProvider, ParametersOutsideTheCollectionPath) {
    LinuxSystemProvider vm(fixtures + "/vm_xeon_no_cpufreq");
    int64_t value = 0;
    ASSERT_TRUE(vm.read_integer("hw.ncpu", 4, &value));
    EXPECT_EQ(value, 4);  // the cpuN folders, not the 8 hot-plug slots of "possible"
    EXPECT_FALSE(vm.read_integer("hw.memsize", 4, &value));  // 7.7 GiB does not fit 4 bytes
    EXPECT_EQ(vm.find_registry_entry("AppleARMIODevice", "pmgr"), nullptr);
    char small[6];
    ASSERT_TRUE(vm.read_string("kern.osrelease", small, sizeof small));
    EXPECT_STREQ(small, "6.6.1");
    EXPECT_FALSE(vm.read_string("kern.osrelease", small, 0));

    LinuxSystemProvider intel(fixtures + "/intel_hybrid_i5_1235u");
    ASSERT_TRUE(intel.read_integer("hw.cpufrequency_max", 8, &value));
    EXPECT_EQ(value, 4'400'000'000);
    EXPECT_EQ(intel.find_registry_entry("IOPlatformDevice", "pmgr"), nullptr);
}

// A scratch tree under the test's temporary directory.
struct Tree {
    explicit Tree(const std::string& name) : root(fs::path(testing::TempDir()) / ("numera_sysinfo_" + name)) {
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~Tree() { fs::remove_all(root); }
    void put(const std::string& path, const std::string& text) const {
        fs::create_directories((root / path).parent_path());
        std::ofstream(root / path, std::ios::binary) << text;
    }
    void cpu(int n, const std::string& file, const std::string& text) const {
        put("sys/devices/system/cpu/cpu" + std::to_string(n) + "/" + file, text);
    }
    std::string collected() const { return describe(collect_from(root.string())); }
    fs::path root;
};

TEST(LinuxProvider, MissingEmptyAndGarbageFilesFailCleanly) {
    Tree tree("garbage");
    EXPECT_EQ(tree.collected(), " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1");
    tree.put("proc/cpuinfo", "");
    tree.put("proc/meminfo", "MemTotal: 12e9 kB\n");
    tree.put("proc/sys/kernel/osrelease", "\n");
    tree.put("proc/sys/kernel/arch", "");
    tree.put("etc/os-release", "NAME=\"\"\nVERSION=\n");
    tree.put("usr/lib/os-release", "NAME=Hidden\nVERSION_ID=1\n");  // /etc wins even when empty-valued
    tree.put("sys/devices/system/cpu/online", "0-x");
    for (int n = 0; n < 2; ++n) {
        tree.cpu(n, "topology/physical_package_id", "0\n");
        tree.cpu(n, "topology/core_id", n == 0 ? "zero\n" : "1\n");
        tree.cpu(n, "cpu_capacity", "\xff\xfe");
        tree.cpu(n, "cpufreq/cpuinfo_max_freq", "-3000000\n");
        tree.cpu(n, "cpufreq/base_frequency", "99999999999999999999\n");
    }
    fs::create_directories(tree.root / "sys/devices/system/cpu/cpufreq");  // not a CPU
    // Topology unreadable: physical cores are the configured CPUs; online
    // unreadable: logical ones are the cpuN folders.
    EXPECT_EQ(tree.collected(), " | 2/2 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1");
}

TEST(LinuxProvider, SparseOnlineListAndOfflineEfficiencyCores) {
    Tree tree("sparse");
    for (int n = 0; n < 12; ++n) {
        tree.cpu(n, "topology/physical_package_id", n < 6 ? "0\n" : "1\n");
        tree.cpu(n, "topology/core_id", std::to_string(n % 6 / 2) + "\n");  // core numbers repeat per package
    }
    tree.put("sys/devices/system/cpu/online", "0-3,8-11\n");
    tree.put("sys/devices/cpu_core/cpus", "0-7\n");
    tree.put("sys/devices/cpu_atom/cpus", "4-7\n");  // all of them offline
    // Online cores {0,0},{0,1} and {1,1},{1,2}; no online E-core, so no split.
    EXPECT_EQ(tree.collected(), " | 4/8 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1");
}

TEST(LinuxProvider, LongLinesOddBytesAndOversizedFiles) {
    Tree tree("long");
    const std::string name = "Vendor \xc3\x28\xff CPU " + std::string(300, 'x');
    // A file far beyond the read limit.
    tree.put("proc/cpuinfo", "model name\t: " + name + "\n\n" + std::string(2 * sysinfo_max_file_bytes, 'y'));
    tree.put("proc/sys/kernel/osrelease", std::string(5000, '6') + "\n");
    EXPECT_EQ(tree.collected(), name.substr(0, 127) + " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux | " +
                                    std::string(63, '6') + " |  | 1");
    const std::string root = tree.root.string();
    EXPECT_EQ(sysinfo_read_file(root + "/proc/cpuinfo", sysinfo_max_file_bytes)->size(), sysinfo_max_file_bytes);
    EXPECT_EQ(sysinfo_read_file(root + "/proc", 100), std::nullopt);  // a folder
}

TEST(LinuxProvider, LiveMachineIsPlausible) {
    const SystemInfo info = collect_from("/");
    SystemInfo through_default;
    collect_system_info(&through_default);
    EXPECT_EQ(std::memcmp(&info, &through_default, sizeof info), 0);
    EXPECT_EQ(info.cpu_cores_logical, sysconf(_SC_NPROCESSORS_ONLN));
    EXPECT_GE(info.cpu_cores_physical, 1);
    EXPECT_LE(info.cpu_cores_physical, info.cpu_cores_logical);
    EXPECT_EQ(info.total_memory_mb, static_cast<int64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE) >> 20);
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    EXPECT_STREQ(info.architecture, names.machine);
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            const std::string model = line.substr(line.find(':') + 2);
            EXPECT_EQ(std::string(info.cpu_model), model.substr(0, 127));
            break;
        }
    }
    EXPECT_NE(ResultFormatter::formatOS(info), "Unknown");
}

}  // namespace
