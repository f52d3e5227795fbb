#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli_harness.h"

namespace {

// A digits file that cannot be written is refused before the first run,
// not after a whole series.
TEST(Cli, DigitsDestinationCheckedFirst) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "numera-cli-dest";
    std::filesystem::create_directories(dir);
    for (const std::string& target : {(dir / "missing" / "pi.txt").string(), dir.string()}) {
        const Outcome o = run_cli("--digits-out " + target);
        SCOPED_TRACE(target);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "") << "no machine facts, no run";
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_NE(o.err.find("--digits-out"), std::string::npos) << o.err;
    }
}

TEST(Cli, SystemInfoLinesInCardOrder) {
    const Outcome o = run_cli("--system-info");
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> labels;
    std::istringstream lines(o.out);
    for (std::string line; std::getline(lines, line);) labels.push_back(line.substr(0, line.find(':') + 1));
    std::vector<std::string> expected = {"CPU:", "Cores:", "Memory:", "OS:", "Architecture:", "Engine:"};
    if (labels.size() == 7) expected.insert(expected.begin() + 2, "Frequency:");
    EXPECT_EQ(labels, expected) << o.out;
}

// One real run: the JSON record and the proven digits on disk.
TEST(CliRun, JsonAndDigitsFile) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "numera-cli-digits";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "pi.txt";

    const Outcome o = run_cli("--runs 1 --json --verbose --digits-out " + file.string());
    ASSERT_EQ(o.status, 0) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j.at("success"), true);
    EXPECT_GE(j.at("score").get<double>(), 1.0);
    ASSERT_EQ(j.at("runs").size(), 1u);
    EXPECT_EQ(j.at("runs")[0].at("verified"), true);
    // --verbose with --json: one line per AGM iteration on stderr.
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 19) << o.err;
    EXPECT_NE(o.err.find("run 1  iteration 19"), std::string::npos) << o.err;

    const std::string digits = slurp(file);
    EXPECT_EQ(digits.rfind("3.14159265358979323846264338327950288419716939937510", 0), 0u);
    // 2,097,146 proven words: the 3 and 2,097,145 words of four digits.
    EXPECT_EQ(digits.size(), 2u + 2097145u * 4u + 1u);
    EXPECT_EQ(digits.back(), '\n');
    EXPECT_EQ(digits.find_first_not_of("0123456789", 2), digits.size() - 1);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// A run whose proof fails fails the series: exit 1, the message names the
// run, the JSON keeps the run with its radix but nothing that passes for a
// result.
TEST(CliRun, WrongDigitsFailTheSeries) {
    const Outcome o = run_cli("--runs 1 --json", "NUMERA_TEST_REJECT_RUN=1");
    EXPECT_EQ(o.status, 1);
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j.at("success"), false);
    EXPECT_EQ(j.at("score"), 0.0);
    EXPECT_EQ(j.at("error_message"), "Computed digits do not match pi (run 1 of 1)");
    const nlohmann::json& run = j.at("runs").at(0);
    EXPECT_EQ(run.at("verified"), false);
    EXPECT_EQ(run.at("radix"), 10000);
    EXPECT_EQ(run.at("digits_calculated"), 0);
    EXPECT_EQ(o.err, "numera-cli: Computed digits do not match pi (run 1 of 1)\n");
}

// Ctrl-C stops the series at the engine's next check: what finished is
// printed, no digits file or temporary file is left, and the status is 130.
TEST(CliInterrupt, CtrlCStopsCleanly) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "numera-cli-interrupt";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const Outcome o = interrupt_cli({"--runs", "3", "--digits-out", (dir / "pi.txt").string()}, {},
                                    std::chrono::milliseconds(1500));
    EXPECT_EQ(o.status, 130) << "ended by the signal instead of stopping";
    EXPECT_NE(o.out.find("Run 1: failed: Cancelled"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("Run 2"), std::string::npos) << "no run after the stop";
    EXPECT_EQ(o.err, "numera-cli: Cancelled\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "no digits file, no temporary file";
}

}  // namespace
