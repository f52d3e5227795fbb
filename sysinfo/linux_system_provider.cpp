#include "sysinfo/linux_system_provider.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <tuple>
#include <utility>

#include "sysinfo/linux_text_parsers.h"

namespace {

constexpr std::string_view cpu_directory = "sys/devices/system/cpu";
constexpr std::string_view memory_directory = "sys/devices/system/memory";
constexpr int64_t hertz_per_khz = 1000;

bool copy_truncated(std::string_view value, char* buffer, size_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    const size_t length = std::min(value.size(), capacity - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return true;
}

std::string cpu_path(int32_t cpu, std::string_view file) {
    std::string path(cpu_directory);
    path += "/cpu";
    path += std::to_string(cpu);
    path += '/';
    path += file;
    return path;
}

// "cpu12" or "memory7": the prefix and a number, nothing else.
bool is_numbered_name(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int64_t> khz_as_hertz(std::optional<int64_t> khz) {
    if (!khz || *khz <= 0 || *khz > std::numeric_limits<int64_t>::max() / hertz_per_khz) {
        return std::nullopt;
    }
    return *khz * hertz_per_khz;
}

std::vector<int32_t> intersect(const std::vector<int32_t>& sorted_a, const std::vector<int32_t>& sorted_b) {
    std::vector<int32_t> both;
    std::set_intersection(sorted_a.begin(), sorted_a.end(), sorted_b.begin(), sorted_b.end(),
                          std::back_inserter(both));
    return both;
}

}  // namespace

std::optional<std::string> sysinfo_read_file(const std::string& path, size_t max_bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    // Anything but a regular file (a FIFO or device in a captured tree) could block or never end.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text;
    // /proc and /sys files report a size of 0 or 4096, so read until the end.
    char chunk[4096];
    while (text.size() < max_bytes) {
        const size_t wanted = std::min(sizeof chunk, max_bytes - text.size());
        const ssize_t got = ::read(fd, chunk, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

LinuxSystemProvider::LinuxSystemProvider(std::string root) : root_(std::move(root)), live_(false) {
    while (!root_.empty() && root_.back() == '/') {
        root_.pop_back();
    }
    live_ = root_.empty();
}

bool LinuxSystemProvider::read_string(const char* name, char* buffer, size_t capacity) {
    if (name == nullptr) {
        return false;
    }
    const std::optional<std::string> value = string_parameter(name);
    return value && copy_truncated(*value, buffer, capacity);
}

bool LinuxSystemProvider::read_integer(const char* name, size_t size, int64_t* value) {
    if (name == nullptr || value == nullptr || (size != 4 && size != 8)) {
        return false;
    }
    const std::optional<int64_t> number = integer_parameter(name);
    if (!number) {
        return false;
    }
    if (size == 4 && (*number < std::numeric_limits<int32_t>::min() || *number > std::numeric_limits<int32_t>::max())) {
        return false;
    }
    *value = *number;
    return true;
}

// Linux has no I/O registry: the cluster maxima come from the per-level
// frequency parameters instead.
std::unique_ptr<SystemRegistryEntry> LinuxSystemProvider::find_registry_entry(const char*, const char*) {
    return nullptr;
}

std::optional<std::string> LinuxSystemProvider::read_text(std::string_view relative_path) const {
    std::string path = root_;
    path += '/';
    path += relative_path;
    return sysinfo_read_file(path, sysinfo_max_file_bytes);
}

std::optional<int64_t> LinuxSystemProvider::read_number(std::string_view relative_path) const {
    const std::optional<std::string> text = read_text(relative_path);
    if (!text) {
        return std::nullopt;
    }
    return sysinfo_parse_integer(*text);
}

std::optional<int64_t> LinuxSystemProvider::read_cpu_number(int32_t cpu, std::string_view file) const {
    return read_number(cpu_path(cpu, file));
}

std::optional<std::string> LinuxSystemProvider::os_release_value(std::string_view key) const {
    // The file in /etc overrides the vendor's copy entirely, not key by key.
    std::optional<std::string> text = read_text("etc/os-release");
    if (!text) {
        text = read_text("usr/lib/os-release");
    }
    if (!text) {
        return std::nullopt;
    }
    std::optional<std::string> value = sysinfo_os_release_value(*text, key);
    if (value && value->empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> LinuxSystemProvider::string_parameter(std::string_view name) const {
    if (name == "machdep.cpu.brand_string") {
        return brand_string();
    }
    if (name == "hw.machine") {
        return machine_name();
    }
    if (name == "kern.osrelease") {
        const std::optional<std::string> text = read_text("proc/sys/kernel/osrelease");
        if (!text) {
            return std::nullopt;
        }
        const std::string release(text->substr(0, text->find('\n')));
        return release.empty() ? std::nullopt : std::optional<std::string>(release);
    }
    if (name == "kern.osversion") {
        std::optional<std::string> version = os_release_value("VERSION");
        return version ? version : os_release_value("VERSION_ID");
    }
    if (name == system_info_os_name_parameter) {
        return os_release_value("NAME");
    }
    return std::nullopt;
}

std::optional<int64_t> LinuxSystemProvider::integer_parameter(std::string_view name) const {
    if (name == "hw.physicalcpu") {
        return physical_cores(online_cpus());
    }
    if (name == "hw.logicalcpu" || name == "hw.ncpu") {
        const std::vector<int32_t> cpus = name == "hw.ncpu" ? configured_cpus() : online_cpus();
        if (cpus.empty()) {
            return std::nullopt;
        }
        return static_cast<int64_t>(cpus.size());
    }
    if (name == "hw.perflevel0.physicalcpu" || name == "hw.perflevel1.physicalcpu") {
        const std::optional<CoreClusters> clusters = core_clusters();
        if (!clusters) {
            return std::nullopt;
        }
        return physical_cores(name == "hw.perflevel0.physicalcpu" ? clusters->fast : clusters->slow);
    }
    if (name == "hw.cpufrequency" || name == "hw.cpufrequency_max") {
        return khz_as_hertz(
            largest_cpufreq_khz(online_cpus(), name == "hw.cpufrequency" ? "base_frequency" : "cpuinfo_max_freq"));
    }
    if (name == system_info_perflevel0_frequency_parameter || name == system_info_perflevel1_frequency_parameter) {
        const std::optional<CoreClusters> clusters = core_clusters();
        if (!clusters) {
            return std::nullopt;
        }
        const bool fast = name == system_info_perflevel0_frequency_parameter;
        return khz_as_hertz(largest_cpufreq_khz(fast ? clusters->fast : clusters->slow, "cpuinfo_max_freq"));
    }
    if (name == "hw.memsize") {
        if (const std::optional<int64_t> bytes = online_memory_bytes()) {
            return bytes;
        }
        const std::optional<std::string> meminfo = read_text("proc/meminfo");
        return meminfo ? sysinfo_meminfo_total_bytes(*meminfo) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> LinuxSystemProvider::brand_string() const {
    const std::optional<std::string> cpuinfo = read_text("proc/cpuinfo");
    if (!cpuinfo) {
        return std::nullopt;
    }
    const std::optional<std::string_view> model = sysinfo_cpuinfo_value(*cpuinfo, "model name");
    if (model && !model->empty()) {
        return std::string(*model);
    }
    return sysinfo_arm_cpu_name(*cpuinfo);
}

std::optional<std::string> LinuxSystemProvider::machine_name() const {
    if (live_) {
        struct utsname names {};
        if (::uname(&names) != 0 || names.machine[0] == '\0') {
            return std::nullopt;
        }
        return std::string(names.machine, strnlen(names.machine, sizeof names.machine));
    }
    // Captured trees carry the machine name the way the kernel publishes it.
    const std::optional<std::string> text = read_text("proc/sys/kernel/arch");
    if (!text) {
        return std::nullopt;
    }
    const std::string machine(text->substr(0, text->find('\n')));
    return machine.empty() ? std::nullopt : std::optional<std::string>(machine);
}

std::vector<int32_t> LinuxSystemProvider::configured_cpus() const {
    std::vector<int32_t> cpus;
    std::error_code error;
    std::filesystem::directory_iterator entries(root_ + "/" + std::string(cpu_directory), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (!is_numbered_name(name, "cpu")) {
            continue;
        }
        const std::optional<int64_t> number = sysinfo_parse_integer(std::string_view(name).substr(3));
        if (number && *number <= sysinfo_max_cpu_number) {
            cpus.push_back(static_cast<int32_t>(*number));
        }
    }
    if (!cpus.empty()) {
        std::sort(cpus.begin(), cpus.end());
        return cpus;
    }
    const std::optional<std::string> possible = read_text(std::string(cpu_directory) + "/possible");
    if (!possible) {
        return {};
    }
    return sysinfo_parse_cpu_list(*possible).value_or(std::vector<int32_t>{});
}

std::vector<int32_t> LinuxSystemProvider::online_cpus() const {
    const std::optional<std::string> online = read_text(std::string(cpu_directory) + "/online");
    if (online) {
        if (std::optional<std::vector<int32_t>> cpus = sysinfo_parse_cpu_list(*online); cpus && !cpus->empty()) {
            return *cpus;
        }
    }
    return configured_cpus();
}

// A core is known by where it sits: package, die, cluster and core number.
// The core number alone repeats across packages, and on arm64 across clusters.
std::optional<int64_t> LinuxSystemProvider::physical_cores(const std::vector<int32_t>& cpus) const {
    if (cpus.empty()) {
        return std::nullopt;
    }
    std::set<std::tuple<int64_t, int64_t, int64_t, int64_t>> cores;
    for (const int32_t cpu : cpus) {
        const std::optional<int64_t> package = read_cpu_number(cpu, "topology/physical_package_id");
        const std::optional<int64_t> core = read_cpu_number(cpu, "topology/core_id");
        if (!package || !core) {
            return std::nullopt;
        }
        const int64_t die = read_cpu_number(cpu, "topology/die_id").value_or(-1);
        const int64_t cluster = read_cpu_number(cpu, "topology/cluster_id").value_or(-1);
        cores.emplace(*package, die, cluster, *core);
    }
    return static_cast<int64_t>(cores.size());
}

std::optional<LinuxSystemProvider::CoreClusters> LinuxSystemProvider::core_clusters() const {
    const std::vector<int32_t> online = online_cpus();
    if (online.empty()) {
        return std::nullopt;
    }
    // Intel hybrid parts register one PMU per core type.
    const std::optional<std::string> big = read_text("sys/devices/cpu_core/cpus");
    const std::optional<std::string> small = read_text("sys/devices/cpu_atom/cpus");
    if (big && small) {
        const std::optional<std::vector<int32_t>> big_cpus = sysinfo_parse_cpu_list(*big);
        const std::optional<std::vector<int32_t>> small_cpus = sysinfo_parse_cpu_list(*small);
        if (big_cpus && small_cpus) {
            CoreClusters clusters{intersect(*big_cpus, online), intersect(*small_cpus, online)};
            if (!clusters.fast.empty() && !clusters.slow.empty()) {
                return clusters;
            }
        }
    }
    // Elsewhere the scheduler's capacity tells the kinds apart. All cores
    // below the largest capacity count as slow, so that three-tier designs
    // still show every core in the split.
    std::vector<std::pair<int32_t, int64_t>> capacities;
    int64_t largest = 0;
    for (const int32_t cpu : online) {
        const std::optional<int64_t> capacity = read_cpu_number(cpu, "cpu_capacity");
        if (!capacity || *capacity <= 0) {
            return std::nullopt;
        }
        capacities.emplace_back(cpu, *capacity);
        largest = std::max(largest, *capacity);
    }
    CoreClusters clusters;
    for (const auto& [cpu, capacity] : capacities) {
        (capacity == largest ? clusters.fast : clusters.slow).push_back(cpu);
    }
    if (clusters.slow.empty()) {
        return std::nullopt;
    }
    return clusters;
}

std::optional<int64_t> LinuxSystemProvider::largest_cpufreq_khz(const std::vector<int32_t>& cpus,
                                                                 std::string_view file) const {
    std::optional<int64_t> largest;
    for (const int32_t cpu : cpus) {
        const std::optional<int64_t> khz = read_cpu_number(cpu, std::string("cpufreq/") + std::string(file));
        if (khz && *khz > 0 && (!largest || *khz > *largest)) {
            largest = khz;
        }
    }
    return largest;
}

// What lsmem calls the total online memory: the installed amount, where
// MemTotal is what is left after the firmware's and the kernel's own
// reservations (15623 MB on a 16 GiB machine). Block numbers have gaps
// where devices, not memory, sit below 4 GiB.
std::optional<int64_t> LinuxSystemProvider::online_memory_bytes() const {
    const std::optional<std::string> size_text = read_text(std::string(memory_directory) + "/block_size_bytes");
    const std::optional<int64_t> block_bytes = size_text ? sysinfo_parse_hex_integer(*size_text) : std::nullopt;
    if (!block_bytes || *block_bytes <= 0) {
        return std::nullopt;
    }
    int64_t online_blocks = 0;
    std::error_code error;
    std::filesystem::directory_iterator entries(root_ + "/" + std::string(memory_directory), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (!is_numbered_name(name, "memory")) {
            continue;
        }
        const std::optional<std::string> state = read_text(std::string(memory_directory) + "/" + name + "/state");
        if (state && state->substr(0, state->find('\n')) == "online") {
            ++online_blocks;
        }
    }
    if (error || online_blocks == 0 || online_blocks > std::numeric_limits<int64_t>::max() / *block_bytes) {
        return std::nullopt;
    }
    return online_blocks * *block_bytes;
}

void collect_system_info(SystemInfo* info) {
    LinuxSystemProvider provider("/");
    collect_system_info(info, provider);
}
