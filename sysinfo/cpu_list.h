// The machine's logical CPUs one by one: which are online, what kind each
// is, how fast each runs right now, and how much memory is free to use.
// Read from /proc and /sys below a root directory, as the Linux provider
// does, so that captured trees can stand in for a machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a logical CPU is on a machine with two kinds of cores. Machines with
// one kind say unknown for every CPU rather than calling them all fast.
enum class SysinfoCpuKind : int32_t {
    unknown = 0,
    performance,
    efficiency,
};

struct SysinfoCpu {
    int32_t number;       // the kernel's CPU number, as in "cpu7"
    SysinfoCpuKind kind;
};

// "performance", "efficiency" or "unknown".
const char* sysinfo_cpu_kind_name(SysinfoCpuKind kind);

// The online CPUs below `root` ("/" is the running machine) in ascending
// order, each with its kind: Intel hybrid parts from the cpu_core and
// cpu_atom PMU lists, others from cpu_capacity (the largest capacity is
// performance, anything below it efficiency). When the online list cannot be
// read the CPU directories stand in for it; empty when neither exists.
std::vector<SysinfoCpu> sysinfo_cpu_list(const std::string& root = "/");

// True when the list holds both kinds.
bool sysinfo_cpu_list_is_hybrid(const std::vector<SysinfoCpu>& cpus);

// The current clock in MHz of each CPU of `cpus` (same order): cpufreq's
// scaling_cur_freq where the kernel has one, else the "cpu MHz" line of that
// processor in /proc/cpuinfo, else 0. Reads cpuinfo at most once per call.
std::vector<double> sysinfo_cpu_clocks_mhz(const std::string& root, const std::vector<int32_t>& cpus);

// The "cpu MHz" value of processor `cpu` in /proc/cpuinfo text; nullopt
// when that processor has no such line or its value is not a positive number.
std::optional<double> sysinfo_cpuinfo_clock_mhz(std::string_view cpuinfo, int32_t cpu);

// MemAvailable of /proc/meminfo text in bytes (the kernel's estimate of what
// can be allocated without swapping); nullopt when missing or malformed.
std::optional<int64_t> sysinfo_meminfo_available_bytes(std::string_view meminfo);

// MemAvailable of the machine below `root`, in bytes.
std::optional<int64_t> sysinfo_available_memory_bytes(const std::string& root = "/");
