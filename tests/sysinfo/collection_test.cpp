// The collection against a scripted provider that records every query.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "describe.h"
#include "sysinfo/system_info.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Log = std::vector<std::string>;

// Answers what it was given and logs "name/capacity-or-size" for every query.
// A scribbling provider fills the whole buffer before answering and never
// terminates what it copies, as a careless kernel interface might.
class FakeProvider final : public SystemInfoProvider {
public:
    std::map<std::string, std::string> strings;
    std::map<std::string, int64_t> integers;
    std::map<std::string, Bytes> properties;
    bool has_pmgr = false;
    bool scribble = false;
    mutable Log log;

    bool read_string(const char* name, char* buffer, size_t capacity) override {
        log.push_back(std::string(name) + "/" + std::to_string(capacity));
        if (scribble) std::memset(buffer, 'z', capacity);
        const auto found = strings.find(name);
        if (found == strings.end()) return false;
        const size_t length = std::min(found->second.size(), capacity - 1);
        std::memcpy(buffer, found->second.data(), length);
        if (!scribble) buffer[length] = '\0';
        return true;
    }
    bool read_integer(const char* name, size_t size, int64_t* value) override {
        log.push_back(std::string(name) + "/" + std::to_string(size));
        const auto found = integers.find(name);
        if (found == integers.end()) return false;
        *value = found->second;
        return true;
    }
    std::unique_ptr<SystemRegistryEntry> find_registry_entry(const char* class_name, const char* name) override {
        log.push_back(std::string("registry ") + class_name + " " + name);
        return has_pmgr ? std::make_unique<Entry>(this) : nullptr;
    }
    bool queried(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }

private:
    struct Entry final : SystemRegistryEntry {
        explicit Entry(const FakeProvider* owner) : owner_(owner) {}
        bool copy_data_property(const char* name, Bytes* bytes) const override {
            owner_->log.push_back(std::string("property ") + name);
            const auto found = owner_->properties.find(name);
            if (found == owner_->properties.end()) return false;
            *bytes = found->second;
            return true;
        }
        const FakeProvider* owner_;
    };
};

// Entries of 4-byte little-endian hertz followed by 4 bytes of noise.
Bytes voltage_blob(const std::vector<uint32_t>& hertz) {
    Bytes bytes;
    for (const uint32_t hz : hertz) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(hz >> shift));
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

// One scripted machine per row: what it answers, the whole record expected
// and the queries that must ("+") or must not ("-") have been made. A row
// with registry properties has a "pmgr" entry.
struct Row {
    std::map<std::string, std::string> strings;
    std::map<std::string, int64_t> integers;
    std::map<std::string, Bytes> properties;
    std::string record;
    std::vector<std::string> queries;
    bool scribble = false;
};

const std::string x200(200, 'x');

const Bytes fast_3200 = voltage_blob({600'000'000, 3'200'000'000});
const Bytes slow_1800 = voltage_blob({1'800'000'000});

const Row rows[] = {
    // Nothing answered: zeros, the default OS name, still a success; no
    // performance levels, so no registry lookup.
    {{}, {}, {}, " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1", {"-registry AppleARMIODevice pmgr"}},
    // A readable brand string: no identifier lookup, no table row.
    {{{"machdep.cpu.brand_string", "Apple M2"}, {"hw.machine", "iPad16,5"}}, {}, {},
     "Apple M2 | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  | iPad16,5 | 1",
     {"-hw.machine/64", "+hw.perflevel0.physicalcpu/4"}},
    // A table row gives the split and the maxima: no perflevel or registry queries.
    {{{"hw.machine", "iPad16,5"}}, {{"hw.perflevel0.physicalcpu", 9}, {"hw.perflevel1.physicalcpu", 9}},
     {{"voltage-states5-sram", fast_3200}}, "M4 | 0/0 cores 4P+6E | 0 MHz max 4400/2900 | 0 MB | Linux |  | iPad16,5 | 1",
     {"-hw.perflevel0.physicalcpu/4", "-hw.perflevel1.physicalcpu/4", "-hw.perflevel0.cpufrequency_max/8",
      "-registry AppleARMIODevice pmgr"}},
    // Rows match as prefixes ("iPhone17,12" is unlisted, "iPad14,2" is the
    // last row); a shorter identifier matches nothing.
    {{{"hw.machine", "iPhone17,12"}}, {}, {}, "A18 Pro | 0/0 cores 2P+4E | 0 MHz max 4050/2200 | 0 MB | Linux |  | iPhone17,12 | 1", {}},
    {{{"hw.machine", "iPad14,2"}}, {}, {}, "A15 Bionic | 0/0 cores 2P+4E | 0 MHz max 3230/1820 | 0 MB | Linux |  | iPad14,2 | 1", {}},
    {{{"hw.machine", "iPhone17,"}}, {}, {}, "iPhone17, | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  | iPhone17, | 1", {}},
    // Core counts: hw.ncpu only without physical cores; logical falls back to physical.
    {{}, {{"hw.logicalcpu", 12}, {"hw.ncpu", 10}}, {}, " | 10/12 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1",
     {"+hw.ncpu/4"}},
    {{}, {{"hw.physicalcpu", 0}, {"hw.ncpu", 6}}, {}, " | 6/6 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1", {}},
    {{}, {{"hw.physicalcpu", 4}, {"hw.ncpu", 99}}, {}, " | 4/4 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1",
     {"-hw.ncpu/4"}},
    // Frequency: the maximum only without a positive nominal one; whole megahertz.
    {{}, {{"hw.cpufrequency", 0}, {"hw.cpufrequency_max", 3'200'000'000}}, {},
     " | 0/0 cores 0P+0E | 3200 MHz max 0/0 | 0 MB | Linux |  |  | 1", {}},
    {{}, {{"hw.cpufrequency", -5}, {"hw.cpufrequency_max", 999'999}}, {},
     " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1", {}},
    {{}, {{"hw.cpufrequency", 2'399'999'999}, {"hw.cpufrequency_max", 5'000'000'000}}, {},
     " | 0/0 cores 0P+0E | 2399 MHz max 0/0 | 0 MB | Linux |  |  | 1", {"-hw.cpufrequency_max/8"}},
    // Cluster maxima: one performance level is enough to look; each property
    // fills its own cluster, others are ignored, and without an entry nothing is asked.
    {{}, {{"hw.perflevel1.physicalcpu", 4}}, {{"voltage-states5-sram", fast_3200}},
     " | 0/0 cores 0P+4E | 0 MHz max 3200/0 | 0 MB | Linux |  |  | 1", {}},
    {{}, {{"hw.perflevel0.physicalcpu", 2}}, {{"voltage-states1-sram", slow_1800}, {"voltage-states2-sram", fast_3200}},
     " | 0/0 cores 2P+0E | 0 MHz max 0/1800 | 0 MB | Linux |  |  | 1", {}},
    {{}, {{"hw.perflevel0.physicalcpu", 2}}, {}, " | 0/0 cores 2P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1",
     {"+registry AppleARMIODevice pmgr", "-property voltage-states1-sram"}},
    // The per-level parameters come first and carry clocks no voltage-state
    // entry can (5.8 GHz); the registry only fills a level they left at 0.
    {{}, {{"hw.perflevel0.physicalcpu", 8}, {"hw.perflevel1.physicalcpu", 16},
          {"hw.perflevel0.cpufrequency_max", 5'800'000'000}, {"hw.perflevel1.cpufrequency_max", 4'300'000'000}},
     {{"voltage-states5-sram", fast_3200}}, " | 0/0 cores 8P+16E | 0 MHz max 5800/4300 | 0 MB | Linux |  |  | 1",
     {"-registry AppleARMIODevice pmgr"}},
    {{}, {{"hw.perflevel0.physicalcpu", 8}, {"hw.perflevel0.cpufrequency_max", 5'800'000'000},
          {"hw.perflevel1.cpufrequency_max", -1}},
     {{"voltage-states1-sram", slow_1800}, {"voltage-states5-sram", fast_3200}},
     " | 0/0 cores 8P+0E | 0 MHz max 5800/1800 | 0 MB | Linux |  |  | 1", {"-property voltage-states5-sram"}},
    {{}, {{"hw.perflevel1.physicalcpu", 4}, {"hw.perflevel0.cpufrequency_max", 999'999}},
     {{"voltage-states5-sram", fast_3200}}, " | 0/0 cores 0P+4E | 0 MHz max 3200/0 | 0 MB | Linux |  |  | 1", {}},
    // Memory in whole mebibytes.
    {{}, {{"hw.memsize", 25'275'957'248}}, {}, " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 24105 MB | Linux |  |  | 1", {}},
    // OS version: osversion when there, osrelease otherwise, nothing without osrelease.
    {{{"kern.osrelease", "6.1.0"}, {"kern.osversion", "12"}}, {}, {},
     " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux | 12 |  | 1", {}},
    {{{"kern.osrelease", "6.1.0"}}, {}, {}, " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux | 6.1.0 |  | 1", {}},
    {{{"kern.osversion", "12"}}, {}, {}, " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  |  | 1",
     {"-kern.osversion/64"}},
    // Long strings are cut to their buffers; the identifier passes through 64 bytes.
    {{{"machdep.cpu.brand_string", x200}, {"kern.osrelease", x200}, {"kern.osname", x200}, {"hw.machine", x200}},
     {}, {}, x200.substr(0, 127) + " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | " + x200.substr(0, 63) + " | " +
     x200.substr(0, 63) + " | " + x200.substr(0, 31) + " | 1", {}},
    {{{"hw.machine", x200}}, {}, {},
     x200.substr(0, 63) + " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux |  | " + x200.substr(0, 31) + " | 1", {}},
    // A provider that fills the buffer and then fails, or succeeds without
    // terminating, leaks nothing into the record.
    {{{"kern.osrelease", ""}}, {}, {},
     " | 0/0 cores 0P+0E | 0 MHz max 0/0 | 0 MB | Linux | " + std::string(63, 'z') + " |  | 1", {}, true},
};

TEST(Collection, FallbacksAndSkippedQueries) {
    for (const Row& row : rows) {
        FakeProvider p;
        p.strings = row.strings;
        p.integers = row.integers;
        p.properties = row.properties;
        p.has_pmgr = !row.properties.empty();
        p.scribble = row.scribble;
        const SystemInfo info = collect(p);
        EXPECT_EQ(describe(info), row.record);
        EXPECT_STREQ(info.error_message, "");
        for (const std::string& query : row.queries) {
            EXPECT_EQ(p.queried(query.substr(1)), query[0] == '+') << query << " for " << row.record;
        }
    }
}

TEST(VoltageStates, LargestWholeLittleEndianEntryInMegahertz) {
    Bytes trailing = voltage_blob({100'000'000, 2'500'000'000, 4'294'967'295});
    trailing.push_back(0xff);  // bytes after the last whole entry are ignored
    EXPECT_EQ(voltage_states_max_mhz(trailing.data(), trailing.size()), 4294);
    const uint8_t one_ghz[8] = {0x00, 0xca, 0x9a, 0x3b, 0xff, 0xff, 0xff, 0xff};  // 0x3b9aca00 Hz
    EXPECT_EQ(voltage_states_max_mhz(one_ghz, 8), 1000);
    EXPECT_EQ(voltage_states_max_mhz(one_ghz, 7), 0);
    EXPECT_EQ(voltage_states_max_mhz(nullptr, 16), 0);
}

}  // namespace
