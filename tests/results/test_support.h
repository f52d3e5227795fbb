// Shared by the results tests: whole-file reads and writes, a fresh folder
// per test (made writable again and removed at its end), and sample records.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "results/result_record.h"

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void spit(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "numera-results-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Runs body(0) .. body(n - 1) in child processes at once, each exiting with
// what its body returns; true when every child exited with 0.
inline bool in_children(int n, const std::function<int(int)>& body) {
    std::vector<pid_t> children;
    bool ok = true;
    for (int w = 0; w < n; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(body(w));
        if (pid < 0) ok = false;
        else children.push_back(pid);
    }
    for (const pid_t child : children) {
        int status = 0;
        ok = ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
    }
    return ok;
}

inline ResultRun sample_run(double seconds, bool ok = true, int32_t number = 1) {
    ResultRun run;
    run.run = number;
    run.transform_error = 1.52587890625e-05;
    run.iterations = 19;
    run.success = ok;
    run.verified = ok;
    run.digits_calculated = ok ? 8388608 : 0;
    run.elapsed_time = seconds;
    run.score = ok ? std::ceil(2513.0 / seconds) : 0;
    run.radix = 10000;
    run.error_message = ok ? "" : "Computed digits do not match pi";
    return run;
}

inline ResultRecord sample(ResultMode mode, double score = 700, const std::string& started_at = "2025-03-01T10:00:00Z") {
    ResultRecord r;
    r.result_id = result_new_id();
    r.mode = mode;
    r.started_at = started_at;
    r.success = true;
    r.digits_calculated = 8388608;
    r.version = "1.0.0";
    r.engine = {"x86-64-v4", "x86-64-v4", false};
    r.system.cpu_model = "Synthetic CPU";
    r.system.cpu_cores_physical = 2;
    r.system.cpu_cores_logical = 2;
    r.system.total_memory_mb = 24576;
    r.system.os_name = "Linux";
    r.system.os_version = "6.1";
    r.system.architecture = "x86_64";
    r.system.success = true;
    r.host_name = "synthetic-host";
    if (mode == ResultMode::single) {
        r.score = score;
        r.runs = {sample_run(3.5), sample_run(3.6, true, 2)};
        r.elapsed_time = 7.1;
    } else if (mode == ResultMode::multi) {
        r.score = score;
        r.elapsed_time = 7.4;
        r.multi = {2, 700, 0.97};
        r.memory = {24 << 30, 78 << 20, false, {0, 1}};
        for (int32_t cpu : {0, 1}) {
            ResultWorker w;
            w.cpu = cpu;
            w.pinned = true;
            w.runs = {sample_run(3.6), sample_run(3.7, true, 2)};
            w.runs[0].start_time = 0;
            w.runs[0].wall_time = 3.65;
            w.runs[0].processor_time = 3.64;
            w.runs[1].start_time = 3.65;
            w.runs[1].wall_time = 3.72;
            w.runs[1].processor_time = 3.71;
            w.runs_started = w.runs_passed = 2;
            w.score = 690;
            r.workers.push_back(w);
        }
    } else {
        r.elapsed_time = 600.2;
        r.stress = {600, true, "duration", 10000, 1.52587890625e-05};
        r.memory = {24 << 30, 78 << 20, false, {0, 1}};
        for (int32_t cpu : {0, 1}) {
            ResultWorker w;
            w.cpu = cpu;
            w.kind = cpu == 0 ? "performance" : "efficiency";
            w.runs_passed = 160;
            r.workers.push_back(w);
        }
        r.workers[1].errors = 2;
        r.workers[1].runs_passed = 158;
        r.workers[1].first_error_run = 37;
        r.workers[1].first_error_time = 192.5;
        r.workers[1].first_error = "Computed digits do not match pi";
        r.success = false;
        r.error_message = "Computed digits do not match pi (CPU 1)";
    }
    return r;
}
