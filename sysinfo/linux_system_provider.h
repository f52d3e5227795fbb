// Answers the collection's parameter names from the Linux kernel's own files
// (/proc, /sys) and os-release, below a root directory so that captured
// trees can stand in for a machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sysinfo/system_info.h"

// Largest file the provider reads; longer files are cut at this size.
inline constexpr size_t sysinfo_max_file_bytes = size_t{1} << 20;

// Returns at most max_bytes of the regular file at path; nullopt when it
// cannot be opened, is not a regular file or a read fails.
std::optional<std::string> sysinfo_read_file(const std::string& path, size_t max_bytes);

// Strings: "machdep.cpu.brand_string" (cpuinfo model name, or the arm64 core
// names), "hw.machine" (uname, or proc/sys/kernel/arch below another root),
// "kern.osrelease", "kern.osversion" and "kern.osname" (os-release VERSION or
// VERSION_ID, and NAME). Integers: "hw.physicalcpu", "hw.logicalcpu",
// "hw.ncpu", "hw.perflevel0.physicalcpu", "hw.perflevel1.physicalcpu",
// "hw.cpufrequency", "hw.cpufrequency_max" and, on machines with two kinds
// of cores, the two per-level maxima of system_info.h (Hz), and
// "hw.memsize" (bytes: the online memory blocks, else MemTotal). No registry.
class LinuxSystemProvider final : public SystemInfoProvider {
public:
    // `root` is the directory that stands for "/"; "/" itself means the
    // running machine.
    explicit LinuxSystemProvider(std::string root = "/");

    bool read_string(const char* name, char* buffer, size_t capacity) override;
    bool read_integer(const char* name, size_t size, int64_t* value) override;
    std::unique_ptr<SystemRegistryEntry> find_registry_entry(const char* class_name,
                                                             const char* entry_name) override;

private:
    struct CoreClusters {
        std::vector<int32_t> fast;
        std::vector<int32_t> slow;
    };

    std::optional<std::string> read_text(std::string_view relative_path) const;
    std::optional<int64_t> read_number(std::string_view relative_path) const;
    std::optional<int64_t> read_cpu_number(int32_t cpu, std::string_view file) const;
    std::optional<std::string> os_release_value(std::string_view key) const;

    std::optional<std::string> string_parameter(std::string_view name) const;
    std::optional<int64_t> integer_parameter(std::string_view name) const;

    std::optional<std::string> brand_string() const;
    std::optional<std::string> machine_name() const;
    std::vector<int32_t> configured_cpus() const;
    std::vector<int32_t> online_cpus() const;
    std::optional<int64_t> physical_cores(const std::vector<int32_t>& cpus) const;
    std::optional<CoreClusters> core_clusters() const;
    std::optional<int64_t> largest_cpufreq_khz(const std::vector<int32_t>& cpus, std::string_view file) const;
    std::optional<int64_t> online_memory_bytes() const;

    std::string root_;  // without a trailing slash; empty for "/"
    bool live_;         // rooted at the running machine's "/"
};
