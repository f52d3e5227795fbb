// The collection against a scripted provider that records every query.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sysinfo/system_info.h"

namespace {

using Log = std::vector<std::string>;

class FakeEntry final : public SystemRegistryEntry {
public:
    FakeEntry(const std::map<std::string, std::vector<uint8_t>>& properties, Log* log)
        : properties_(properties), log_(log) {}
    bool copy_data_property(const char* name, std::vector<uint8_t>* bytes) const override {
        log_->push_back(std::string("property ") + name);
        const auto found = properties_.find(name);
        if (found == properties_.end()) {
            return false;
        }
        *bytes = found->second;
        return true;
    }

private:
    std::map<std::string, std::vector<uint8_t>> properties_;
    Log* log_;
};

// Answers what it was given, honours capacities like a kernel would, and
// logs "name/capacity-or-size" for every query.
class FakeProvider final : public SystemInfoProvider {
public:
    std::map<std::string, std::string> strings;
    std::map<std::string, int64_t> integers;
    bool has_pmgr = false;
    std::map<std::string, std::vector<uint8_t>> properties;
    Log log;

    bool read_string(const char* name, char* buffer, size_t capacity) override {
        log.push_back(std::string(name) + "/" + std::to_string(capacity));
        const auto found = strings.find(name);
        if (found == strings.end()) {
            return false;
        }
        const size_t length = std::min(found->second.size(), capacity - 1);
        std::memcpy(buffer, found->second.data(), length);
        buffer[length] = '\0';
        return true;
    }
    bool read_integer(const char* name, size_t size, int64_t* value) override {
        log.push_back(std::string(name) + "/" + std::to_string(size));
        const auto found = integers.find(name);
        if (found == integers.end()) {
            return false;
        }
        *value = found->second;
        return true;
    }
    std::unique_ptr<SystemRegistryEntry> find_registry_entry(const char* class_name, const char* name) override {
        log.push_back(std::string("registry ") + class_name + " " + name);
        return has_pmgr ? std::make_unique<FakeEntry>(properties, &log) : nullptr;
    }

    bool queried(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
};

// Entries of 4-byte little-endian hertz and 4 bytes of noise.
std::vector<uint8_t> voltage_blob(const std::vector<uint32_t>& hertz) {
    std::vector<uint8_t> bytes;
    for (const uint32_t hz : hertz) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(hz >> shift));
        }
        bytes.insert(bytes.end(), {0xff, 0xff, 0xff, 0xff});
    }
    return bytes;
}

SystemInfo collect(FakeProvider& provider) {
    SystemInfo info;
    std::memset(&info, 0xab, sizeof info);  // collection must clear what it does not set
    collect_system_info(&info, provider);
    return info;
}

TEST(Collection, QueriesInDocumentedOrderWithTheirSizes) {
    FakeProvider p;
    p.strings = {{"hw.machine", "Mac15,3"}, {"kern.osrelease", "23.1.0"}, {"kern.osversion", "23B74"},
                 {"kern.osname", "macOS"}};
    p.integers = {{"hw.physicalcpu", 8}, {"hw.logicalcpu", 8}, {"hw.perflevel0.physicalcpu", 4},
                  {"hw.perflevel1.physicalcpu", 4}, {"hw.cpufrequency_max", 3'200'000'000}, {"hw.memsize", 8589934592}};
    p.has_pmgr = true;
    p.properties = {{"voltage-states1-sram", voltage_blob({600'000'000, 2'064'000'000})},
                    {"voltage-states5-sram", voltage_blob({3'228'000'000, 600'000'000})}};
    const SystemInfo info = collect(p);
    const Log expected = {"machdep.cpu.brand_string/128", "hw.machine/64", "hw.physicalcpu/4", "hw.logicalcpu/4",
                          "hw.perflevel0.physicalcpu/4", "hw.perflevel1.physicalcpu/4", "hw.cpufrequency/8",
                          "hw.cpufrequency_max/8", "registry AppleARMIODevice pmgr", "property voltage-states1-sram",
                          "property voltage-states5-sram", "hw.memsize/8", "kern.osname/64", "kern.osrelease/64",
                          "kern.osversion/64", "hw.machine/32"};
    EXPECT_EQ(p.log, expected);
    EXPECT_STREQ(info.cpu_model, "Mac15,3");  // no table row: the identifier itself
    EXPECT_EQ(info.cpu_cores_physical, 8);
    EXPECT_EQ(info.cpu_cores_logical, 8);
    EXPECT_EQ(info.cpu_cores_performance, 4);
    EXPECT_EQ(info.cpu_cores_efficiency, 4);
    EXPECT_EQ(info.cpu_frequency_mhz, 3200);
    EXPECT_EQ(info.cpu_frequency_p_max_mhz, 3228);
    EXPECT_EQ(info.cpu_frequency_e_max_mhz, 2064);
    EXPECT_EQ(info.total_memory_mb, 8192);
    EXPECT_STREQ(info.os_name, "macOS");
    EXPECT_STREQ(info.os_version, "23B74");
    EXPECT_STREQ(info.architecture, "Mac15,3");
    EXPECT_EQ(info.success, 1);
    EXPECT_STREQ(info.error_message, "");
}

TEST(Collection, NothingAnsweredLeavesZerosAndStillSucceeds) {
    FakeProvider p;
    const SystemInfo info = collect(p);
    SystemInfo expected{};
    std::snprintf(expected.os_name, sizeof expected.os_name, "%s", system_info_default_os_name);
    expected.success = 1;
    EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
    EXPECT_FALSE(p.queried("registry AppleARMIODevice pmgr"));  // no performance levels
}

TEST(Collection, BrandStringSkipsModelIdentifierAndTable) {
    FakeProvider p;
    p.strings = {{"machdep.cpu.brand_string", "Apple M2"}, {"hw.machine", "iPad16,5"}};
    const SystemInfo info = collect(p);
    EXPECT_STREQ(info.cpu_model, "Apple M2");
    EXPECT_FALSE(p.queried("hw.machine/64"));
    EXPECT_EQ(info.cpu_cores_performance, 0);  // no table row applied
    EXPECT_TRUE(p.queried("hw.perflevel0.physicalcpu/4"));
}

TEST(Collection, DeviceTableRowReplacesPerflevelsAndRegistry) {
    FakeProvider p;
    p.strings = {{"hw.machine", "iPad16,5"}};
    p.integers = {{"hw.perflevel0.physicalcpu", 9}, {"hw.perflevel1.physicalcpu", 9}};
    p.has_pmgr = true;
    const SystemInfo info = collect(p);
    EXPECT_STREQ(info.cpu_model, "M4");
    EXPECT_EQ(info.cpu_cores_performance, 4);
    EXPECT_EQ(info.cpu_cores_efficiency, 6);
    EXPECT_EQ(info.cpu_frequency_p_max_mhz, 4400);
    EXPECT_EQ(info.cpu_frequency_e_max_mhz, 2900);
    EXPECT_FALSE(p.queried("hw.perflevel0.physicalcpu/4"));
    EXPECT_FALSE(p.queried("hw.perflevel1.physicalcpu/4"));
    EXPECT_FALSE(p.queried("registry AppleARMIODevice pmgr"));
}

TEST(Collection, DeviceTableMatchesByPrefixFirstRowFirst) {
    struct Case {
        const char* machine;
        const char* chip;
        int32_t p_max;
    };
    // Unlisted "iPhone17,12" and "iPad13,100" fall to the first row they begin with.
    for (const Case& c : {Case{"iPhone17,12", "A18 Pro", 4050}, Case{"iPhone17,1", "A18 Pro", 4050},
                          Case{"iPhone12,5", "A13 Bionic", 2660}, Case{"iPad13,100", "M1", 3200},
                          Case{"iPad14,2", "A15 Bionic", 3230}, Case{"iPhone17,", "iPhone17,", 0},
                          Case{"ipad16,5", "ipad16,5", 0}}) {
        FakeProvider p;
        p.strings = {{"hw.machine", c.machine}};
        const SystemInfo info = collect(p);
        EXPECT_STREQ(info.cpu_model, c.chip) << c.machine;
        EXPECT_EQ(info.cpu_frequency_p_max_mhz, c.p_max) << c.machine;
    }
}

TEST(Collection, CoreCountFallbacks) {
    struct Case {
        std::map<std::string, int64_t> integers;
        int32_t physical, logical;
        bool ncpu_queried;
    };
    const Case cases[] = {
        {{{"hw.logicalcpu", 8}, {"hw.ncpu", 8}}, 8, 8, true},
        {{{"hw.physicalcpu", 4}, {"hw.ncpu", 99}}, 4, 4, false},
        {{{"hw.ncpu", 6}}, 6, 6, true},
        {{{"hw.physicalcpu", 0}, {"hw.logicalcpu", 12}, {"hw.ncpu", 10}}, 10, 12, true},
        {{{"hw.physicalcpu", 8}, {"hw.logicalcpu", 16}}, 8, 16, false},
        {{}, 0, 0, true},
    };
    for (const Case& c : cases) {
        FakeProvider p;
        p.integers = c.integers;
        const SystemInfo info = collect(p);
        EXPECT_EQ(info.cpu_cores_physical, c.physical);
        EXPECT_EQ(info.cpu_cores_logical, c.logical);
        EXPECT_EQ(p.queried("hw.ncpu/4"), c.ncpu_queried);
    }
}

TEST(Collection, FrequencyFallsBackToMaximumOnlyWithoutPositiveNominal) {
    struct Case {
        std::map<std::string, int64_t> integers;
        int32_t mhz;
        bool max_queried;
    };
    const Case cases[] = {
        {{{"hw.cpufrequency_max", 3'200'000'000}}, 3200, true},
        {{{"hw.cpufrequency", 0}, {"hw.cpufrequency_max", 3'200'000'000}}, 3200, true},
        {{{"hw.cpufrequency", -5}, {"hw.cpufrequency_max", 999'999}}, 0, true},
        {{{"hw.cpufrequency", 2'399'999'999}, {"hw.cpufrequency_max", 5'000'000'000}}, 2399, false},
        {{}, 0, true},
    };
    for (const Case& c : cases) {
        FakeProvider p;
        p.integers = c.integers;
        EXPECT_EQ(collect(p).cpu_frequency_mhz, c.mhz);
        EXPECT_EQ(p.queried("hw.cpufrequency_max/8"), c.max_queried);
    }
}

TEST(Collection, ClusterMaximaFromRegistryProperties) {
    // Blob decoding itself is covered by VoltageStates below.
    struct Case {
        std::map<std::string, std::vector<uint8_t>> properties;
        int32_t p_max, e_max;
    };
    const Case cases[] = {
        {{{"voltage-states5-sram", voltage_blob({600'000'000, 3'200'000'000})}}, 3200, 0},
        {{{"voltage-states1-sram", voltage_blob({1'800'000'000})}}, 0, 1800},
        {{{"voltage-states2-sram", voltage_blob({1'800'000'000})}}, 0, 0},
    };
    for (const Case& c : cases) {
        FakeProvider p;
        p.integers = {{"hw.perflevel1.physicalcpu", 4}};  // one level is enough to look
        p.has_pmgr = true;
        p.properties = c.properties;
        const SystemInfo info = collect(p);
        EXPECT_EQ(info.cpu_frequency_p_max_mhz, c.p_max);
        EXPECT_EQ(info.cpu_frequency_e_max_mhz, c.e_max);
    }
    FakeProvider without_pmgr;
    without_pmgr.integers = {{"hw.perflevel0.physicalcpu", 2}};
    collect(without_pmgr);
    EXPECT_TRUE(without_pmgr.queried("registry AppleARMIODevice pmgr"));
    EXPECT_FALSE(without_pmgr.queried("property voltage-states1-sram"));
}

TEST(Collection, MemoryInWholeMebibytes) {
    for (const auto& [bytes, mb] : std::vector<std::pair<int64_t, int64_t>>{
             {17'179'869'184, 16384}, {1'048'575, 0}, {25'275'957'248, 24105}, {-1, 0}}) {
        FakeProvider p;
        p.integers = {{"hw.memsize", bytes}};
        EXPECT_EQ(collect(p).total_memory_mb, mb) << bytes;
    }
}

TEST(Collection, OsVersionPrefersOsversionAndNeedsOsrelease) {
    FakeProvider both;
    both.strings = {{"kern.osrelease", "6.1.0"}, {"kern.osversion", "12 (bookworm)"}};
    EXPECT_STREQ(collect(both).os_version, "12 (bookworm)");

    FakeProvider release_only;
    release_only.strings = {{"kern.osrelease", "6.1.0"}};
    EXPECT_STREQ(collect(release_only).os_version, "6.1.0");

    FakeProvider version_only;
    version_only.strings = {{"kern.osversion", "12 (bookworm)"}};
    EXPECT_STREQ(collect(version_only).os_version, "");
    EXPECT_FALSE(version_only.queried("kern.osversion/64"));
}

TEST(Collection, LongStringsAreCutToTheirBuffers) {
    const std::string long_text(200, 'x');
    FakeProvider brand;
    brand.strings = {{"machdep.cpu.brand_string", long_text}, {"kern.osrelease", long_text},
                     {"kern.osname", long_text}, {"hw.machine", long_text}};
    const SystemInfo a = collect(brand);
    EXPECT_EQ(std::string(a.cpu_model), long_text.substr(0, 127));
    EXPECT_EQ(std::string(a.os_version), long_text.substr(0, 63));
    EXPECT_EQ(std::string(a.os_name), long_text.substr(0, 63));
    EXPECT_EQ(std::string(a.architecture), long_text.substr(0, 31));

    FakeProvider identifier;  // the model identifier passes through a 64-byte buffer
    identifier.strings = {{"hw.machine", long_text}};
    EXPECT_EQ(std::string(collect(identifier).cpu_model), long_text.substr(0, 63));
}

// A provider that scribbles into the buffer and then fails, or succeeds
// without terminating: the record must stay clean either way.
class CarelessProvider final : public SystemInfoProvider {
public:
    bool read_string(const char* name, char* buffer, size_t capacity) override {
        std::memset(buffer, 'z', capacity);
        return std::string_view(name) == "kern.osrelease";
    }
    bool read_integer(const char*, size_t, int64_t*) override { return false; }
    std::unique_ptr<SystemRegistryEntry> find_registry_entry(const char*, const char*) override { return nullptr; }
};

TEST(Collection, FailedOrUnterminatedReadsDoNotLeak) {
    CarelessProvider p;
    SystemInfo info;
    collect_system_info(&info, p);
    EXPECT_STREQ(info.cpu_model, "");
    EXPECT_STREQ(info.architecture, "");
    EXPECT_EQ(std::string(info.os_version), std::string(63, 'z'));
    EXPECT_STREQ(info.os_name, system_info_default_os_name);
}

TEST(VoltageStates, LargestWholeEntryInMegahertz) {
    std::vector<uint8_t> twenty = voltage_blob({600'000'000, 3'200'000'000});
    twenty.resize(20, 0xff);
    EXPECT_EQ(voltage_states_max_mhz(twenty.data(), twenty.size()), 3200);
    const uint8_t seven[7] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    EXPECT_EQ(voltage_states_max_mhz(seven, sizeof seven), 0);
    const std::vector<uint8_t> zeros(64, 0);
    EXPECT_EQ(voltage_states_max_mhz(zeros.data(), zeros.size()), 0);
    EXPECT_EQ(voltage_states_max_mhz(nullptr, 16), 0);
    const std::vector<uint8_t> top = voltage_blob({4'294'967'295, 999'999, 2'064'000'000});
    EXPECT_EQ(voltage_states_max_mhz(top.data(), top.size()), 4294);
    // Byte order is fixed, not the host's: 0x3b9aca00 = 1,000,000,000.
    const uint8_t one_ghz[8] = {0x00, 0xca, 0x9a, 0x3b, 0, 0, 0, 0};
    EXPECT_EQ(voltage_states_max_mhz(one_ghz, 8), 1000);
    // The last whole entry counts even when trailing bytes follow it.
    std::vector<uint8_t> last = voltage_blob({100'000'000, 2'500'000'000});
    last.push_back(0xff);
    EXPECT_EQ(voltage_states_max_mhz(last.data(), last.size()), 2500);
}

}  // namespace
