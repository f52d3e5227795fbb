#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs numera-cli with the arguments (already shell-safe) and collects its
// exit status and both streams.
Outcome run_cli(const std::string& arguments) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "numera-cli-test";
    std::filesystem::create_directories(dir);
    const std::string command = std::string(NUMERA_CLI_PATH) + " " + arguments + " >" +
                                (dir / "out").string() + " 2>" + (dir / "err").string() + " </dev/null";
    const int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = slurp(dir / "out");
    o.err = slurp(dir / "err");
    return o;
}

class CliUsageError : public ::testing::TestWithParam<const char*> {};

TEST_P(CliUsageError, ExitsWithTwoBeforeAnyRun) {
    const Outcome o = run_cli(GetParam());
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "") << "nothing may run on a bad argument";
    EXPECT_EQ(o.err.rfind("numera-cli: ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find("Usage:"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BadArguments, CliUsageError,
                         ::testing::Values("--bogus", "--runs 0", "--runs 101", "--runs abc", "--runs",
                                           "stray", "--digits-out"));

TEST(Cli, HelpAndVersion) {
    const Outcome help = run_cli("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--runs", "--json", "--digits-out", "--system-info", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const Outcome version = run_cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("numera-cli ", 0), 0u) << version.out;
}

TEST(Cli, SystemInfoLinesInCardOrder) {
    const Outcome o = run_cli("--system-info");
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> labels;
    std::istringstream lines(o.out);
    for (std::string line; std::getline(lines, line);) labels.push_back(line.substr(0, line.find(':') + 1));
    std::vector<std::string> expected = {"CPU:", "Cores:", "Memory:", "OS:", "Architecture:"};
    if (labels.size() == 6) expected.insert(expected.begin() + 2, "Frequency:");
    EXPECT_EQ(labels, expected) << o.out;
}

TEST(Cli, SystemInfoJson) {
    const Outcome o = run_cli("--system-info --json");
    ASSERT_EQ(o.status, 0) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    const nlohmann::json& s = j.at("system");
    for (const char* field :
         {"cpu_model", "cpu_cores_physical", "cpu_cores_logical", "cpu_frequency_mhz", "cpu_cores_performance",
          "cpu_cores_efficiency", "cpu_frequency_p_max_mhz", "cpu_frequency_e_max_mhz", "total_memory_mb",
          "os_name", "os_version", "architecture", "success", "error_message"}) {
        EXPECT_TRUE(s.contains(field)) << field;
    }
    EXPECT_GE(s.at("cpu_cores_logical").get<int>(), 1);
    EXPECT_GT(s.at("total_memory_mb").get<long long>(), 0);
}

// One real run: the JSON record and the proven digits on disk.
TEST(CliRun, JsonAndDigitsFile) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "numera-cli-digits";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "pi.txt";

    const Outcome o = run_cli("--runs 1 --json --digits-out " + file.string());
    ASSERT_EQ(o.status, 0) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j.at("success"), true);
    EXPECT_EQ(j.at("digits_calculated"), 8388608);
    EXPECT_GT(j.at("elapsed_time").get<double>(), 0.0);
    EXPECT_GE(j.at("score").get<double>(), 1.0);
    EXPECT_EQ(j.at("error_message"), "");
    ASSERT_EQ(j.at("runs").size(), 1u);
    const nlohmann::json& run = j.at("runs")[0];
    EXPECT_EQ(run.at("verified"), true);
    EXPECT_EQ(run.at("radix"), 10000);
    EXPECT_EQ(run.at("elapsed_time"), j.at("elapsed_time"));
    EXPECT_TRUE(j.contains("system"));

    const std::string digits = slurp(file);
    EXPECT_EQ(digits.rfind("3.14159265358979323846264338327950288419716939937510", 0), 0u);
    // 2,097,146 proven words: the 3 and 2,097,145 words of four digits.
    EXPECT_EQ(digits.size(), 2u + 2097145u * 4u + 1u);
    EXPECT_EQ(digits.back(), '\n');
    EXPECT_EQ(digits.find_first_not_of("0123456789", 2), digits.size() - 1);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

}  // namespace
