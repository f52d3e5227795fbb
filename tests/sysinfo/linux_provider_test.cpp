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

namespace {

namespace fs = std::filesystem;

const std::string fixtures = NUMERA_SYSINFO_FIXTURES;

SystemInfo collect_from(const std::string& root) {
    LinuxSystemProvider provider(root);
    SystemInfo info;
    collect_system_info(&info, provider);
    return info;
}

struct Expected {
    const char* tree;
    const char* cpu_model;
    int32_t physical, logical, frequency, performance, efficiency, p_max, e_max;
    int64_t memory_mb;
    const char* os_name;
    const char* os_version;
    const char* architecture;
};

// Figures worked out by hand from the fixture files (see fixtures/README.md).
TEST(LinuxProvider, FixtureMachines) {
    const Expected machines[] = {
        {"captured_amd_epyc_debian12", "AMD EPYC", 2, 2, 0, 0, 0, 0, 0, 24105, "Debian GNU/Linux",
         "12 (bookworm)", "x86_64"},
        // P-cores reach 4.4 GHz, more than a voltage-state entry holds: no P maximum.
        {"intel_hybrid_i5_1235u", "12th Gen Intel(R) Core(TM) i5-1235U", 10, 12, 1300, 2, 8, 0, 3300, 15623,
         "Fedora Linux", "39 (Workstation Edition)", "x86_64"},
        {"arm64_big_little_rk3399", "ARM Cortex-A53 + Cortex-A72", 6, 6, 1800, 2, 4, 1800, 1416, 3871, "Ubuntu",
         "22.04.4 LTS (Jammy Jellyfish)", "aarch64"},
        {"vm_xeon_no_cpufreq", "Intel(R) Xeon(R) Platinum 8375C CPU @ 2.90GHz", 2, 4, 0, 0, 0, 0, 0, 7850,
         "Alpine Linux", "3.19.1", "x86_64"},
    };
    for (const Expected& m : machines) {
        SCOPED_TRACE(m.tree);
        const SystemInfo info = collect_from(fixtures + "/" + m.tree);
        EXPECT_STREQ(info.cpu_model, m.cpu_model);
        EXPECT_EQ(info.cpu_cores_physical, m.physical);
        EXPECT_EQ(info.cpu_cores_logical, m.logical);
        EXPECT_EQ(info.cpu_frequency_mhz, m.frequency);
        EXPECT_EQ(info.cpu_cores_performance, m.performance);
        EXPECT_EQ(info.cpu_cores_efficiency, m.efficiency);
        EXPECT_EQ(info.cpu_frequency_p_max_mhz, m.p_max);
        EXPECT_EQ(info.cpu_frequency_e_max_mhz, m.e_max);
        EXPECT_EQ(info.total_memory_mb, m.memory_mb);
        EXPECT_STREQ(info.os_name, m.os_name);
        EXPECT_STREQ(info.os_version, m.os_version);
        EXPECT_STREQ(info.architecture, m.architecture);
        EXPECT_EQ(info.success, 1);
    }
}

TEST(LinuxProvider, ParametersOutsideTheCollectionPath) {
    LinuxSystemProvider vm(fixtures + "/vm_xeon_no_cpufreq");
    int64_t value = 0;
    ASSERT_TRUE(vm.read_integer("hw.ncpu", 4, &value));
    EXPECT_EQ(value, 4);  // the cpuN folders, not the 8 hot-plug slots of "possible"
    EXPECT_FALSE(vm.read_integer("hw.perflevel0.physicalcpu", 4, &value));
    EXPECT_FALSE(vm.read_integer("hw.cpufrequency_max", 8, &value));
    EXPECT_FALSE(vm.read_integer("hw.memsize", 4, &value));  // 7.7 GiB does not fit 4 bytes
    EXPECT_FALSE(vm.read_integer("hw.logicalcpu", 2, &value));
    EXPECT_FALSE(vm.read_integer("hw.pagesize", 8, &value));
    EXPECT_EQ(vm.find_registry_entry("AppleARMIODevice", "pmgr"), nullptr);
    char small[6];
    ASSERT_TRUE(vm.read_string("kern.osrelease", small, sizeof small));
    EXPECT_STREQ(small, "6.6.1");
    EXPECT_FALSE(vm.read_string("kern.osrelease", small, 0));
    EXPECT_FALSE(vm.read_string("machdep.cpu.vendor", small, sizeof small));

    LinuxSystemProvider intel(fixtures + "/intel_hybrid_i5_1235u");
    ASSERT_TRUE(intel.read_integer("hw.cpufrequency_max", 8, &value));
    EXPECT_EQ(value, 4'400'000'000);
    EXPECT_EQ(intel.find_registry_entry("AppleARMIODevice", "pmgr2"), nullptr);
    EXPECT_EQ(intel.find_registry_entry("IOPlatformDevice", "pmgr"), nullptr);
}

std::vector<uint32_t> decode_megahertz(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> mhz;
    for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        uint32_t hz = 0;
        std::memcpy(&hz, &bytes[i], 4);  // the test host is little-endian
        mhz.push_back(hz / 1000000);
    }
    return mhz;
}

TEST(LinuxProvider, RegistryHoldsEachClustersFrequencyTable) {
    LinuxSystemProvider arm(fixtures + "/arm64_big_little_rk3399");
    const auto pmgr = arm.find_registry_entry("AppleARMIODevice", "pmgr");
    ASSERT_NE(pmgr, nullptr);
    std::vector<uint8_t> fast, slow, other;
    ASSERT_TRUE(pmgr->copy_data_property("voltage-states5-sram", &fast));
    ASSERT_TRUE(pmgr->copy_data_property("voltage-states1-sram", &slow));
    EXPECT_FALSE(pmgr->copy_data_property("voltage-states9-sram", &other));
    EXPECT_EQ(decode_megahertz(fast), std::vector<uint32_t>({408, 600, 816, 1008, 1200, 1416, 1608, 1800}));
    EXPECT_EQ(decode_megahertz(slow), std::vector<uint32_t>({408, 600, 816, 1008, 1200, 1416}));
}

// A scratch tree under the test's temporary directory.
class Tree {
public:
    explicit Tree(const std::string& name) : root_(fs::path(testing::TempDir()) / ("numera_sysinfo_" + name)) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~Tree() { fs::remove_all(root_); }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    void put(const std::string& path, const std::string& text) const {
        fs::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path, std::ios::binary) << text;
    }
    void cpu(int n, const std::string& file, const std::string& text) const {
        put("sys/devices/system/cpu/cpu" + std::to_string(n) + "/" + file, text);
    }
    std::string root() const { return root_.string(); }

private:
    fs::path root_;
};

TEST(LinuxProvider, EmptyTreeAnswersNothing) {
    Tree tree("empty");
    const SystemInfo info = collect_from(tree.root());
    SystemInfo expected{};
    std::snprintf(expected.os_name, sizeof expected.os_name, "Linux");
    expected.success = 1;
    EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
}

TEST(LinuxProvider, EmptyAndGarbageFilesFailCleanly) {
    Tree tree("garbage");
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
    fs::create_directories(fs::path(tree.root()) / "sys/devices/system/cpu/cpufreq");  // not a CPU
    const SystemInfo info = collect_from(tree.root());
    EXPECT_STREQ(info.cpu_model, "");
    EXPECT_EQ(info.cpu_cores_physical, 2);  // topology unreadable: configured CPUs instead
    EXPECT_EQ(info.cpu_cores_logical, 2);   // online unreadable: the cpuN folders
    EXPECT_EQ(info.cpu_cores_performance, 0);
    EXPECT_EQ(info.cpu_frequency_mhz, 0);
    EXPECT_EQ(info.total_memory_mb, 0);
    EXPECT_STREQ(info.os_name, "Linux");
    EXPECT_STREQ(info.os_version, "");
    EXPECT_STREQ(info.architecture, "");
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
    const SystemInfo info = collect_from(tree.root());
    EXPECT_EQ(info.cpu_cores_logical, 8);
    EXPECT_EQ(info.cpu_cores_physical, 4);  // {0,0},{0,1} and {1,1},{1,2}
    EXPECT_EQ(info.cpu_cores_performance, 0);
    EXPECT_EQ(info.cpu_cores_efficiency, 0);
}

TEST(LinuxProvider, LongLinesOddBytesAndOversizedFiles) {
    Tree tree("long");
    const std::string odd_name = "Vendor \xc3\x28\xff CPU " + std::string(300, 'x');
    std::string cpuinfo = "processor\t: 0\nmodel name\t: " + odd_name + "\n\n";
    cpuinfo += std::string(2 * sysinfo_max_file_bytes, 'y');  // a file far beyond the read limit
    tree.put("proc/cpuinfo", cpuinfo);
    tree.put("proc/sys/kernel/osrelease", std::string(5000, '6') + "\n");
    const SystemInfo info = collect_from(tree.root());
    EXPECT_EQ(std::string(info.cpu_model), odd_name.substr(0, 127));
    EXPECT_EQ(std::string(info.os_version), std::string(63, '6'));
    EXPECT_EQ(sysinfo_read_file(tree.root() + "/proc/cpuinfo", sysinfo_max_file_bytes)->size(),
              sysinfo_max_file_bytes);
    EXPECT_EQ(sysinfo_read_file(tree.root() + "/proc", 100), std::nullopt);  // a folder
    EXPECT_EQ(sysinfo_read_file(tree.root() + "/missing", 100), std::nullopt);
}

TEST(LinuxProvider, LiveMachineIsPlausible) {
    const SystemInfo info = collect_from("/");
    SystemInfo through_default;
    collect_system_info(&through_default);
    EXPECT_EQ(std::memcmp(&info, &through_default, sizeof info), 0);
    EXPECT_EQ(info.success, 1);

    EXPECT_EQ(info.cpu_cores_logical, sysconf(_SC_NPROCESSORS_ONLN));
    EXPECT_GE(info.cpu_cores_physical, 1);
    EXPECT_LE(info.cpu_cores_physical, info.cpu_cores_logical);

    std::ifstream meminfo("/proc/meminfo");
    std::string label;
    long long kib = 0;
    meminfo >> label >> kib;
    ASSERT_EQ(label, "MemTotal:");
    EXPECT_EQ(info.total_memory_mb, kib / 1024);

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
