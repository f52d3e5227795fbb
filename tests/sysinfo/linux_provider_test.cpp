// The Linux provider on captured and synthetic trees, on odd trees written
// at run time, and on the running machine against util-linux.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "sysinfo/linux_system_provider.h"
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
// Memory: the online blocks where the tree has them (the i5's 128 and the
// captured Xeon's 192 blocks of 128 MiB, 24G by lsmem on that machine),
// MemTotal elsewhere. Maxima of 4.295 GHz and more survive.
TEST(LinuxProvider, FixtureMachines) {
    const std::pair<const char*, const char*> machines[] = {
        {"captured_amd_epyc_debian12",
         "AMD EPYC | 2/2 cores 0P+0E | 0 MHz max 0/0 | 24105 MB | Debian GNU/Linux | 12 (bookworm) | x86_64 | 1"},
        {"captured_intel_xeon_kvm_debian12", "Intel(R) Xeon(R) Processor | 2/2 cores 0P+0E | 0 MHz max 0/0 | "
                                             "24576 MB | Debian GNU/Linux | 12 (bookworm) | x86_64 | 1"},
        {"intel_hybrid_i5_1235u", "12th Gen Intel(R) Core(TM) i5-1235U | 10/12 cores 2P+8E | 1300 MHz max 4400/3300 | "
                                  "16384 MB | Fedora Linux | 39 (Workstation Edition) | x86_64 | 1"},
        {"intel_hybrid_i9_13900k", "13th Gen Intel(R) Core(TM) i9-13900K | 24/32 cores 8P+16E | 3000 MHz max 5800/4300 | "
                                   "64010 MB | Arch Linux | 6.7.4-arch1-1 | x86_64 | 1"},
        {"amd_ryzen_7950x", "AMD Ryzen 9 7950X 16-Core Processor | 16/32 cores 0P+0E | 5700 MHz max 0/0 | "
                            "31262 MB | Fedora Linux | 39 (Workstation Edition) | x86_64 | 1"},
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
    EXPECT_FALSE(vm.read_integer(system_info_perflevel0_frequency_parameter, 8, &value));  // one kind of core
    char small[6];
    ASSERT_TRUE(vm.read_string("kern.osrelease", small, sizeof small));
    EXPECT_STREQ(small, "6.6.1");
    EXPECT_FALSE(vm.read_string("kern.osrelease", small, 0));

    LinuxSystemProvider intel(fixtures + "/intel_hybrid_i9_13900k");
    ASSERT_TRUE(intel.read_integer(system_info_perflevel0_frequency_parameter, 8, &value));
    EXPECT_EQ(value, 5'800'000'000);
    ASSERT_TRUE(intel.read_integer(system_info_perflevel1_frequency_parameter, 8, &value));
    EXPECT_EQ(value, 4'300'000'000);
    EXPECT_FALSE(intel.read_integer(system_info_perflevel0_frequency_parameter, 4, &value));
    EXPECT_EQ(intel.find_registry_entry("AppleARMIODevice", "pmgr"), nullptr);
}

std::string collected(const Tree& tree) { return describe(collect_from(tree.root.string())); }

TEST(LinuxProvider, MissingEmptyAndGarbageFilesFailCleanly) {
    Tree tree("garbage");
    EXPECT_EQ(collected(tree), " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1");
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
    EXPECT_EQ(collected(tree), " | 2/2 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1");
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
    EXPECT_EQ(collected(tree), " | 4/8 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1");
}

TEST(LinuxProvider, LongLinesOddBytesAndOversizedFiles) {
    Tree tree("long");
    const std::string name = "Vendor \xc3\x28\xff CPU " + std::string(300, 'x');
    // A file far beyond the read limit.
    tree.put("proc/cpuinfo", "model name\t: " + name + "\n\n" + std::string(2 * sysinfo_max_file_bytes, 'y'));
    tree.put("proc/sys/kernel/osrelease", std::string(5000, '6') + "\n");
    EXPECT_EQ(collected(tree), name.substr(0, 127) + " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux | " +
                                    std::string(63, '6') + " |  | 1");
    const std::string root = tree.root.string();
    EXPECT_EQ(sysinfo_read_file(root + "/proc/cpuinfo", sysinfo_max_file_bytes)->size(), sysinfo_max_file_bytes);
    EXPECT_EQ(sysinfo_read_file(root + "/proc", 100), std::nullopt);  // a folder
}

// Blocks count as lsmem counts them: only "online" ones, whatever their
// numbers. Without a usable block size or any online block, MemTotal.
TEST(LinuxProvider, MemoryBlocksAndTheirFallback) {
    Tree tree("memory");
    tree.put("proc/meminfo", "MemTotal:        1000000 kB\n");
    const auto memory_mb = [&] { return collect_from(tree.root.string()).total_memory_mb; };
    EXPECT_EQ(memory_mb(), 976);  // no block folder
    const std::pair<int, const char*> blocks[] = {
        {0, "online\n"}, {2, "online\n"}, {3, "offline\n"}, {5, "going-offline\n"}, {40, "online"}, {41, "onlinex\n"}};
    for (const auto& [n, state] : blocks) {
        tree.put("sys/devices/system/memory/memory" + std::to_string(n) + "/state", state);
    }
    tree.put("sys/devices/system/memory/memoryX/state", "online\n");
    tree.put("sys/devices/system/memory/power/state", "online\n");
    EXPECT_EQ(memory_mb(), 976);  // no block size
    const std::pair<const char*, int64_t> sizes[] = {
        {"40000000\n", 3072}, {"0x8000000", 384}, {"0\n", 976}, {"-8000000\n", 976}, {"1G\n", 976},
        {"7fffffffffffffff\n", 976}};  // three such blocks overflow int64
    for (const auto& [size, mb] : sizes) {
        tree.put("sys/devices/system/memory/block_size_bytes", size);
        EXPECT_EQ(memory_mb(), mb) << size;
    }
    tree.put("sys/devices/system/memory/block_size_bytes", "40000000\n");
    for (const int n : {0, 2, 40}) {
        tree.put("sys/devices/system/memory/memory" + std::to_string(n) + "/state", "offline\n");
    }
    EXPECT_EQ(memory_mb(), 976);
}

// Output of a shell command; nullopt when it fails.
std::optional<std::string> command_output(const char* command) {
    FILE* pipe = popen(command, "r");
    std::string text;
    char chunk[512];
    for (size_t got; pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, got);
    return pipe != nullptr && pclose(pipe) == 0 ? std::optional<std::string>(text) : std::nullopt;
}

// The running machine against util-linux's own counts, where its tools can
// read them (a container may hide the memory blocks).
TEST(LinuxProvider, LiveMachineAgreesWithUtilLinux) {
    const SystemInfo info = collect_from("/");
    SystemInfo through_default;
    collect_system_info(&through_default);
    EXPECT_EQ(describe(info), describe(through_default));
    int checked = 0;
    if (const auto cpus = command_output("lscpu -p=CORE,SOCKET 2>/dev/null")) {
        std::istringstream lines(*cpus);
        std::set<std::string> cores;
        int logical = 0;
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line[0] != '#') {
                cores.insert(line);
                ++logical;
            }
        }
        EXPECT_EQ(info.cpu_cores_logical, logical);
        EXPECT_EQ(info.cpu_cores_physical, static_cast<int32_t>(cores.size()));
        ++checked;
    }
    const auto memory = command_output("lsmem -b --summary=only 2>/dev/null");
    const size_t label = memory ? memory->find("Total online memory:") : std::string::npos;
    if (label != std::string::npos) {
        const long long bytes = std::stoll(memory->substr(label + std::strlen("Total online memory:")));
        EXPECT_EQ(info.total_memory_mb, bytes >> 20);
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "neither lscpu nor lsmem could read this machine";
    }
}

}  // namespace
