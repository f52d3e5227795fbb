#include <gtest/gtest.h>

#include "sysinfo/linux_text_parsers.h"

namespace {

using Cpus = std::vector<int32_t>;

TEST(CpuList, RangesAndSingles) {
    EXPECT_EQ(sysinfo_parse_cpu_list("0-3,8-11\n"), Cpus({0, 1, 2, 3, 8, 9, 10, 11}));
    EXPECT_EQ(sysinfo_parse_cpu_list("3,1,2-2,0-3"), Cpus({0, 1, 2, 3}));  // overlaps count once
    EXPECT_EQ(sysinfo_parse_cpu_list("\n"), Cpus());  // what "offline" holds when all are online
    EXPECT_EQ(sysinfo_parse_cpu_list("0-8191")->size(), 8192u);
    for (const char* bad : {"3-1", "0-", "-2", "a", "0,,1", "0,", "1-2-3", "8192", "0-99999999999999999999",
                            "0 1", "0x1", "+1", "1\n2"}) {
        EXPECT_EQ(sysinfo_parse_cpu_list(bad), std::nullopt) << bad;
    }
}

TEST(Integers, WholeValueOnly) {
    EXPECT_EQ(sysinfo_parse_integer(" 4400000\n"), 4400000);
    EXPECT_EQ(sysinfo_parse_integer("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"", "\n", "12kHz", "1 2", "9223372036854775808", "0x10", "\xff"}) {
        EXPECT_EQ(sysinfo_parse_integer(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(sysinfo_parse_hex_integer("8000000\n"), 134217728);
    EXPECT_EQ(sysinfo_parse_hex_integer(" 0x80000000 "), 2147483648);
    EXPECT_EQ(sysinfo_parse_hex_integer("7fffffffffffffff"), INT64_MAX);
    for (const char* bad : {"", "0x", "-1", "0x-1", "+1", "8000000 kB", "8000000000000000", "g"}) {
        EXPECT_EQ(sysinfo_parse_hex_integer(bad), std::nullopt) << bad;
    }
}

TEST(Cpuinfo, FirstMatchingKeyTrimmed) {
    const char* text = "processor\t: 0\nmodel\t\t: 2\nmodel name\t: AMD EPYC 9R14  \n\nmodel name\t: Second\n";
    EXPECT_EQ(sysinfo_cpuinfo_value(text, "model name"), "AMD EPYC 9R14");
    EXPECT_EQ(sysinfo_cpuinfo_value(text, "model"), "2");
    EXPECT_EQ(sysinfo_cpuinfo_value(text, "Hardware"), std::nullopt);
    EXPECT_EQ(sysinfo_cpuinfo_value("model name\t:\n", "model name"), "");
    EXPECT_EQ(sysinfo_cpuinfo_value("model name", "model name"), std::nullopt);  // no colon
}

std::string arm_block(const char* implementer, const char* part) {
    return std::string("processor\t: 0\nBogoMIPS\t: 50.00\nCPU implementer\t: ") + implementer +
           "\nCPU architecture: 8\nCPU variant\t: 0x3\nCPU part\t: " + part + "\nCPU revision\t: 1\n\n";
}

TEST(Cpuinfo, ArmCoreNames) {
    EXPECT_EQ(sysinfo_arm_cpu_name(arm_block("0x41", "0xd0c") + arm_block("0x41", "0xd0c")), "ARM Neoverse-N1");
    EXPECT_EQ(sysinfo_arm_cpu_name(arm_block("0x41", "0xd05") + arm_block("0x41", "0xd0b")),
              "ARM Cortex-A55 + Cortex-A76");
    EXPECT_EQ(sysinfo_arm_cpu_name(arm_block("0x41", "0xd03") + arm_block("0x61", "0x033")),
              "ARM Cortex-A53 + Apple M2 Avalanche");
    // One unknown kind would misname the machine, so no name at all.
    EXPECT_EQ(sysinfo_arm_cpu_name(arm_block("0x41", "0xd03") + arm_block("0x41", "0xfff")), std::nullopt);
    EXPECT_EQ(sysinfo_arm_cpu_name("CPU part\t: 0xd03\n"), std::nullopt);
    EXPECT_EQ(sysinfo_arm_cpu_name(arm_block("0x41", "junk")), std::nullopt);
    EXPECT_EQ(sysinfo_arm_cpu_name("processor\t: 0\nmodel name\t: Intel\n"), std::nullopt);
}

TEST(Meminfo, TotalInBytes) {
    EXPECT_EQ(sysinfo_meminfo_total_bytes("MemTotal:       24683748 kB\nMemFree: 1 kB\n"), int64_t{24683748} * 1024);
    EXPECT_EQ(sysinfo_meminfo_total_bytes("MemFree: 1 kB\nMemTotal: 16 kB"), 16384);
    for (const char* bad : {"MemFree: 16 kB\n", "MemTotal: 16 MB\n", "MemTotal: -16 kB\n",
                            "MemTotal: 9007199254740992 kB\n"}) {
        EXPECT_EQ(sysinfo_meminfo_total_bytes(bad), std::nullopt) << bad;
    }
}

TEST(OsRelease, ShellStyleValues) {
    const char* text =
        "# NAME=Comment\nNAME=\"Debian GNU/Linux\"\nVERSION_ID='12'\n"
        "VERSION=\"12 (bookworm) \\\"quoted\\\" \\\\ \\$HOME \\n\"\n"
        "  VARIANT = spaced\nBROKEN=\"unterminated\nID=\"first\"\nID=debian\nEMPTY=\"\"\n";
    EXPECT_EQ(sysinfo_os_release_value(text, "NAME"), "Debian GNU/Linux");
    EXPECT_EQ(sysinfo_os_release_value(text, "VERSION_ID"), "12");
    EXPECT_EQ(sysinfo_os_release_value(text, "VERSION"), "12 (bookworm) \"quoted\" \\ $HOME \\n");
    EXPECT_EQ(sysinfo_os_release_value(text, "ID"), "debian");  // the last assignment wins
    EXPECT_EQ(sysinfo_os_release_value(text, "EMPTY"), "");
    for (const char* absent : {"BROKEN", "VARIANT", "VERS"}) {
        EXPECT_EQ(sysinfo_os_release_value(text, absent), std::nullopt) << absent;
    }
}

}  // namespace
