// numera-cli multi and stress from the outside, with fake runs (the
// NUMERA_TEST_FAKE_RUN_MS seam) for the handling and the real engine for
// one multi-core run and one injected failure.
#include <gtest/gtest.h>
#include <pty.h>

#include <nlohmann/json.hpp>

#include "cli/runner_cli.h"
#include "cli_harness.h"

namespace {

std::vector<int32_t> usable_cpus() {
    std::vector<int32_t> cpus;
    for (const SysinfoCpu& cpu : runner_default_cpus()) cpus.push_back(cpu.number);
    return cpus;
}

std::string fake(int ms) { return "NUMERA_TEST_FAKE_RUN_MS=" + std::to_string(ms); }

const nlohmann::json& cpu_entry(const nlohmann::json& j, int32_t cpu) {
    for (const nlohmann::json& entry : j.at("workers")) {
        if (entry.at("cpu") == cpu) return entry;
    }
    throw std::runtime_error("no CPU " + std::to_string(cpu));
}

TEST(CliRunnerText, Durations) {
    const std::pair<const char*, double> good[] = {{"0", 0.0},    {"90s", 90.0},     {"10m", 600.0},
                                                   {"1h", 3600.0}, {"1h30m", 5400.0}, {"2m5s", 125.0},
                                                   {"0s", 0.0},   {"10000h", 36e6}};
    for (const auto& [text, seconds] : good) EXPECT_EQ(cli_parse_duration(text), seconds) << text;
    for (const char* bad : {"", "10", "m", "-5m", "1.5h", "1h1h", "10001h", "5x", "10m ", " 10m", "1h-30m"}) {
        EXPECT_EQ(cli_parse_duration(bad), std::nullopt) << "'" << bad << "'";
    }
}

TEST(CliRunnerText, CpuLists) {
    EXPECT_EQ(cli_format_cpu_list({8, 0, 1, 2, 3}), "0-3,8");
    EXPECT_EQ(cli_format_cpu_list({0, 2}), "0,2");
    EXPECT_EQ(cli_format_cpu_list({5, 5, 6}), "5-6");
    EXPECT_EQ(cli_format_cpu_list({}), "");
}

// A usage error says what is wrong in one line and where help is, and
// nothing runs (fake runs, should a wrong argument get through).
TEST(Cli, UsageErrorsAreBrief) {
    const std::string missing = std::to_string(usable_cpus().back() + 1);
    for (const std::string& arguments :
         {std::string("--bogus"), std::string("--runs 0"), std::string("--runs abc"), "multi --cpus " + missing,
          std::string("multi --cpus 1-0"), std::string("multi --cpus ''"), std::string("stress --cpus abc"),
          std::string("stress --duration 5x"), std::string("--runs 3 multi"), std::string("--json stress"),
          std::string("multi --duration 1m")}) {
        const Outcome o = run_cli(arguments, fake(10));
        SCOPED_TRACE(arguments);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        std::istringstream lines(o.err);
        std::string first, second, third;
        std::getline(lines, first);
        std::getline(lines, second);
        EXPECT_EQ(first.rfind("numera-cli: ", 0), 0u) << o.err;
        EXPECT_EQ(second, "Run with --help for more information.") << o.err;
        EXPECT_FALSE(std::getline(lines, third)) << "no help text: " << o.err;
    }
    EXPECT_NE(run_cli("multi --cpus " + missing, fake(10)).err.find("CPU " + missing + " is not available"),
              std::string::npos);
    EXPECT_EQ(run_cli("multi", "NUMERA_TEST_FAIL_RUN=1").status, 2);
}

// A multi-core run of fakes: every CPU pinned, every run in the JSON (its
// shape is the schema's test, its score the runner's).
TEST(CliRunner, MultiJson) {
    const std::vector<int32_t> cpus = usable_cpus();
    const Outcome o = run_cli("multi --runs 2 --json", fake(50));
    ASSERT_EQ(o.status, 0) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j.at("success"), true);
    EXPECT_EQ(j.at("test_fake_runs"), true);
    EXPECT_GE(j.at("elapsed_time").get<double>(), 0.1);
    ASSERT_EQ(j.at("workers").size(), cpus.size());
    for (size_t w = 0; w < cpus.size(); ++w) {
        const nlohmann::json& c = j.at("workers")[w];
        EXPECT_EQ(c.at("cpu"), cpus[w]);
        EXPECT_EQ(c.at("pinned"), true);
        ASSERT_EQ(c.at("runs").size(), 2u);
        EXPECT_EQ(c.at("runs")[1].at("verified"), true);
    }

    // A chosen CPU only; the text names it.
    const Outcome one = run_cli("multi --runs 1 --cpus " + std::to_string(cpus.back()), fake(20));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("Multi-core: 1 CPU (" + std::to_string(cpus.back()) + "), 1 run each"), std::string::npos)
        << one.out;
    EXPECT_NE(one.out.find("\nScore: "), std::string::npos);
    EXPECT_NE(one.out.find("\nScaling: "), std::string::npos);
}

// One failed proof fails the multi-core result and the exit status, naming
// its CPU and run on stderr (the runner's tests own the record's details).
TEST(CliRunner, MultiFailureNamesCpu) {
    const int32_t cpu = usable_cpus().back();
    const Outcome o = run_cli("multi --runs 3 --json", fake(20) + " NUMERA_TEST_FAIL_RUN=" + std::to_string(cpu) + ":2");
    EXPECT_EQ(o.status, 1);
    const std::string message = "Computed digits do not match pi (CPU " + std::to_string(cpu) + ", run 2 of 3)";
    EXPECT_EQ(nlohmann::json::parse(o.out).at("error_message"), message);
    EXPECT_NE(o.err.find("numera-cli: " + message + "\n"), std::string::npos) << o.err;
}

// The stability test runs until its time is up: no errors, exit 0, and
// nothing but the report when stdout is a file.
TEST(CliRunner, StressNoErrors) {
    const std::vector<int32_t> cpus = usable_cpus();
    const Outcome o = run_cli("stress --duration 1s", fake(40));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.find('\033'), std::string::npos) << "no live status in a file";
    EXPECT_EQ(o.out.find("Running"), std::string::npos);
    EXPECT_NE(o.out.find("CPU  Runs passed  Errors  First error\n"), std::string::npos) << o.out;
    const std::string prefix = "\nNo errors: " + std::to_string(cpus.size()) + (cpus.size() == 1 ? " CPU" : " CPUs") +
                               ", 0:01, ";
    EXPECT_NE(o.out.find(prefix), std::string::npos) << o.out;
}

// The first error stops the test and is put on its CPU and run; exit 1.
TEST(CliRunner, StressFirstErrorNamesCpuAndRun) {
    const int32_t cpu = usable_cpus().back();
    const std::string env = fake(20) + " NUMERA_TEST_FAIL_RUN=" + std::to_string(cpu) + ":3";
    const Outcome o = run_cli("stress --duration 0", env);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("\nError on CPU " + std::to_string(cpu) + " after 0:00: Computed digits do not match pi\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("run 3 after 0:00: Computed digits do not match pi"), std::string::npos) << o.out;
}

// --keep-going counts the errors until the time is up.
TEST(CliRunner, StressKeepGoing) {
    const int32_t cpu = usable_cpus().front();
    const std::string fail = std::to_string(cpu) + ":2," + std::to_string(cpu) + ":4";
    const Outcome o = run_cli("stress --duration 1s --keep-going --json", fake(20) + " NUMERA_TEST_FAIL_RUN=" + fail);
    EXPECT_EQ(o.status, 1);
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j.at("stress").at("ended_by"), "duration");
    EXPECT_EQ(j.at("stress").at("keep_going"), true);
    EXPECT_EQ(cpu_entry(j, cpu).at("errors"), 2);
    EXPECT_GE(cpu_entry(j, cpu).at("runs_passed").get<int>(), 10) << "it ran on after the errors";
}

// Ctrl-C: a stability test until stopped ends with its report and 0; one
// with a set duration says it was stopped and gives 130, as a cancelled
// multi-core run does.
TEST(CliRunner, CtrlC) {
    const Outcome open = interrupt_cli({"stress", "--duration", "0"}, {fake(30)}, std::chrono::milliseconds(700));
    EXPECT_EQ(open.status, 0) << open.err;
    EXPECT_NE(open.out.find("\nNo errors: "), std::string::npos) << open.out;
    EXPECT_EQ(open.out.find("stopped before"), std::string::npos) << open.out;

    const Outcome timed = interrupt_cli({"stress", "--duration", "10m"}, {fake(30)}, std::chrono::milliseconds(700));
    EXPECT_EQ(timed.status, 130) << timed.err;
    EXPECT_NE(timed.out.find(", 0:00, "), std::string::npos) << timed.out;
    EXPECT_NE(timed.out.find(" runs (stopped before 10:00)\n"), std::string::npos) << timed.out;

    const Outcome multi = interrupt_cli({"multi", "--json"}, {fake(60000)}, std::chrono::milliseconds(700));
    EXPECT_EQ(multi.status, 130) << multi.err;
    const nlohmann::json j = nlohmann::json::parse(multi.out);
    EXPECT_EQ(j.at("error_message"), "Cancelled");
    EXPECT_NE(multi.err.find("numera-cli: Cancelled\n"), std::string::npos) << multi.err;
}

// On a terminal the stability test shows one line per CPU, refreshed in
// place, then erases it for the report.
TEST(CliRunner, StressLiveStatusOnATerminal) {
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("NUMERA_TEST_FAKE_RUN_MS", "50", 1);
        execl(NUMERA_CLI_PATH, "numera-cli", "stress", "--duration", "3s", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string screen;
    char buffer[4096];
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, static_cast<size_t>(got));
    int raw = 0;
    waitpid(child, &raw, 0);
    close(master);
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << screen;
    EXPECT_NE(screen.find("Running 0:01 of 0:03 (Ctrl-C stops)"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Running 0:02 of 0:03"), std::string::npos) << screen;
    for (const int32_t cpu : usable_cpus()) {
        char line[64];
        std::snprintf(line, sizeof line, "CPU %3d  runs passed ", cpu);
        EXPECT_NE(screen.find(line), std::string::npos) << screen;
    }
    const std::string redraw = "\033[" + std::to_string(usable_cpus().size() + 1) + "F\033[J";
    EXPECT_NE(screen.find(redraw), std::string::npos) << "redrawn in place";
    EXPECT_NE(screen.find("No errors: "), std::string::npos) << screen;
    EXPECT_GT(screen.rfind("No errors: "), screen.rfind(redraw)) << "the report after the last redraw";
}

// The real engine: a multi-core run of one run per CPU, and a stability
// test whose first run on one CPU fails its proof.
TEST(CliRunnerRun, RealMultiAndInjectedFailure) {
    const std::vector<int32_t> cpus = usable_cpus();
    const Outcome o = run_cli("multi --runs 1 --json");
    ASSERT_EQ(o.status, 0) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    EXPECT_EQ(j.at("success"), true);
    EXPECT_FALSE(j.contains("test_fake_runs"));
    EXPECT_GT(j.at("score").get<double>(), 0.0);
    for (const nlohmann::json& c : j.at("workers")) {
        EXPECT_EQ(c.at("runs")[0].at("verified"), true);
        EXPECT_EQ(c.at("runs")[0].at("radix"), 10000);
    }

    const int32_t cpu = cpus.back();
    const Outcome s = run_cli("stress --duration 0 --json", "NUMERA_TEST_FAIL_RUN=" + std::to_string(cpu) + ":1");
    EXPECT_EQ(s.status, 1);
    const nlohmann::json k = nlohmann::json::parse(s.out);
    EXPECT_EQ(cpu_entry(k, cpu).at("first_error").at("run"), 1);
    EXPECT_EQ(cpu_entry(k, cpu).at("first_error").at("message"), "Computed digits do not match pi");
    EXPECT_EQ(k.at("verdict").get<std::string>().rfind("Error on CPU " + std::to_string(cpu) + " after ", 0), 0u);
    const nlohmann::json& bad = cpu_entry(k, cpu).at("runs").at(0);
    EXPECT_EQ(bad.at("radix"), 10000) << "the run got through its radix test";
    EXPECT_EQ(bad.at("iterations"), 19);
}

}  // namespace
