// Shared by the system information tests: a whole SystemInfo record on one
// line, so that a test compares every field at once and a failure shows them
// all, and scratch trees of /proc and /sys files.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "sysinfo/system_info.h"

inline std::string describe(const SystemInfo& i) {
    char line[512];
    std::snprintf(line, sizeof line, "%.*s | %d/%d cores %dP+%dE | %d MHz max %d/%d | %lld MB | %.*s | %.*s | %.*s | %d",
                  128, i.cpu_model, i.cpu_cores_physical, i.cpu_cores_logical, i.cpu_cores_performance,
                  i.cpu_cores_efficiency, i.cpu_frequency_mhz, i.cpu_frequency_p_max_mhz, i.cpu_frequency_e_max_mhz,
                  static_cast<long long>(i.total_memory_mb), 64, i.os_name, 64, i.os_version, 32, i.architecture,
                  i.success);
    return line;
}

// A scratch tree below the test's temporary folder, removed at its end.
struct Tree {
    explicit Tree(const std::string& name)
        : root(std::filesystem::path(testing::TempDir()) / ("numera_sysinfo_" + name)) {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    ~Tree() { std::filesystem::remove_all(root); }
    void put(const std::string& path, const std::string& text) const {
        std::filesystem::create_directories((root / path).parent_path());
        std::ofstream(root / path, std::ios::binary) << text;
    }
    void cpu(int n, const std::string& file, const std::string& text) const {
        put("sys/devices/system/cpu/cpu" + std::to_string(n) + "/" + file, text);
    }
    std::filesystem::path root;
};
