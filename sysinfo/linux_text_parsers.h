// Parsers for the text the Linux kernel and the distribution publish in
// /proc, /sys and os-release. They work on memory buffers so they can be
// tested and fuzzed without files; none of them trusts its input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Highest CPU number accepted in a CPU list; the kernel's own limit.
inline constexpr int32_t sysinfo_max_cpu_number = 8191;

// Returns the CPUs of a kernel CPU list such as "0-3,8-11\n" in ascending
// order without duplicates; an empty or blank list gives an empty set.
// Returns nullopt for malformed text or numbers above sysinfo_max_cpu_number.
std::optional<std::vector<int32_t>> sysinfo_parse_cpu_list(std::string_view text);

// Returns the decimal integer that the text holds, surrounding whitespace
// allowed (sysfs values end in a newline); nullopt for anything else,
// including values outside int64.
std::optional<int64_t> sysinfo_parse_integer(std::string_view text);

// Returns the hexadecimal integer that the text holds, as the kernel writes
// memory block sizes ("8000000\n"): surrounding whitespace and a "0x"
// allowed; nullopt for anything else, including negative values and values
// outside int64.
std::optional<int64_t> sysinfo_parse_hex_integer(std::string_view text);

// Returns the value of the first "key : value" line of /proc/cpuinfo text
// whose key equals `key`, with surrounding blanks removed; nullopt when no
// such line exists.
std::optional<std::string_view> sysinfo_cpuinfo_value(std::string_view cpuinfo, std::string_view key);

// Returns a name for the arm64 cores listed in /proc/cpuinfo text from their
// "CPU implementer" and "CPU part" lines, e.g. "ARM Cortex-A53 + Cortex-A72"
// for distinct kinds in order of appearance. nullopt when there are none or
// any kind is not in the table of known cores.
std::optional<std::string> sysinfo_arm_cpu_name(std::string_view cpuinfo);

// Returns MemTotal of /proc/meminfo text in bytes; nullopt when the line is
// missing, malformed or its value would not fit in int64.
std::optional<int64_t> sysinfo_meminfo_total_bytes(std::string_view meminfo);

// Returns the value of `key` in os-release text (shell-style assignments,
// values optionally quoted, backslash escapes inside double quotes). The
// last assignment wins, as when the file is sourced; nullopt when absent.
std::optional<std::string> sysinfo_os_release_value(std::string_view os_release, std::string_view key);
