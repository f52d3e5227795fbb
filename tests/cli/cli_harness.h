// numera-cli run from a test, its stdout and stderr sent to files (so
// neither is a terminal) in a folder of this test process.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One folder per test process for numera-cli's output, removed when the
// process ends.
inline std::filesystem::path cli_output_dir() {
    struct Folder {
        std::filesystem::path path;
        explicit Folder(std::filesystem::path p) : path(std::move(p)) { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder(std::filesystem::temp_directory_path() /
                               ("numera-cli-test-" + std::to_string(::getpid())));
    return folder.path;
}

inline Outcome collect(int raw) {
    const auto dir = cli_output_dir();
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
}

// The arguments and environment assignments are already shell-safe.
inline Outcome run_cli(const std::string& arguments, const std::string& environment = "") {
    const auto dir = cli_output_dir();
    const std::string command = environment + " " + std::string(NUMERA_CLI_PATH) + " " + arguments + " >" +
                                (dir / "out").string() + " 2>" + (dir / "err").string() + " </dev/null";
    return collect(std::system(command.c_str()));
}

// numera-cli with SIGINT sent after `delay`; status -1 if a signal ended it.
inline Outcome interrupt_cli(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                             std::chrono::milliseconds delay) {
    const auto dir = cli_output_dir();
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen((dir / "out").c_str(), "w", stdout) || !freopen((dir / "err").c_str(), "w", stderr)) _exit(126);
        for (const std::string& assignment : environment) putenv(const_cast<char*>(assignment.c_str()));
        std::vector<char*> argv{const_cast<char*>("numera-cli")};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(NUMERA_CLI_PATH, argv.data());
        _exit(127);
    }
    if (child < 0) return {};
    std::this_thread::sleep_for(delay);
    kill(child, SIGINT);
    int raw = 0;
    waitpid(child, &raw, 0);
    return collect(raw);
}
