// Synthetic results for the History window's tests and screenshots, on a
// made-up machine, and a temporary XDG_DATA_HOME to keep them in.
#pragma once

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QTemporaryDir>

#include "results/result_store.h"

// XDG_DATA_HOME is a fresh folder for as long as this lives, so the history
// is result_history_default_path() inside it.
class TemporaryHistory {
public:
    TemporaryHistory()
        : saved_(qgetenv("XDG_DATA_HOME"))
        , hadSaved_(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", dir_.path().toUtf8());
    }
    ~TemporaryHistory()
    {
        if (hadSaved_)
            qputenv("XDG_DATA_HOME", saved_);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    std::filesystem::path path() const { return result_history_default_path(); }
    QString folder() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray saved_;
    bool hadSaved_;
};

// "2025-03-01T10:00:00Z" from a time.
inline std::string isoUtc(const QDateTime& at)
{
    return at.toUTC().toString(Qt::ISODate).toStdString();
}

// A result of the mode started at `startedAt` (UTC, ISO 8601). An error
// message makes it a failed one; a stability test passes unless it has one.
inline ResultRecord syntheticResult(ResultMode mode, const std::string& startedAt, double score,
                                    const std::string& error = {})
{
    ResultRecord r;
    r.result_id = result_new_id();
    r.mode = mode;
    r.started_at = startedAt;
    r.success = error.empty();
    r.error_message = error;
    r.digits_calculated = r.success ? 8388608 : 0;
    r.score = r.success && mode != ResultMode::stress ? score : 0;
    r.elapsed_time = mode == ResultMode::stress ? 600 : (r.success ? 5 * 2513.0 / score * (mode == ResultMode::multi ? 4 : 1) : 0);
    if (mode == ResultMode::single) {
        for (int i = 1; i <= 5; ++i) {
            ResultRun run;
            run.run = i;
            run.success = run.verified = r.success;
            run.digits_calculated = r.digits_calculated;
            run.elapsed_time = r.elapsed_time / 5;
            run.score = r.score;
            run.radix = 10000;
            run.iterations = 19;
            r.runs.push_back(run);
        }
    } else {
        // Four CPUs; a failed test's first error is on CPU 1, in its third run.
        for (int cpu = 0; cpu < 4; ++cpu) {
            ResultWorker w;
            w.cpu = cpu;
            w.pinned = true;
            w.runs_started = w.runs_passed = mode == ResultMode::stress ? 44 : 1;
            w.score = mode == ResultMode::multi ? r.score / 4 : 0;
            if (!r.success && cpu == 1) {
                w.runs_passed -= 1;
                w.errors = 1;
                w.first_error_run = 3;
                w.first_error_time = 192;
                w.first_error = error;
                ResultRun failed;
                failed.run = 3;
                failed.radix = 10000;
                failed.error_message = error;
                w.runs.push_back(failed);
            }
            r.workers.push_back(w);
        }
        r.memory.available_bytes = int64_t(12) << 30;
        r.memory.bytes_per_run = int64_t(72) << 20;
        r.memory.cpus_requested = {0, 1, 2, 3};
        if (mode == ResultMode::multi) {
            r.multi.runs_per_worker = 1;
            r.multi.best_worker_score = r.score / 4 / 0.97;
            r.multi.scaling = 0.97;
        } else {
            r.stress.duration_requested = 600;
            r.stress.ended_by = r.success ? "duration" : "first_error";
            r.stress.reference_radix = 10000;
        }
    }
    r.version = "1.0.0";
    r.engine = {"x86-64-v3", "x86-64-v3", false};
    r.system.cpu_model = "Synthetic Test CPU 4C";
    r.system.cpu_cores_physical = 4;
    r.system.cpu_cores_logical = 4;
    r.system.cpu_frequency_mhz = 3600;
    r.system.cpu_frequency_p_max_mhz = 4200;
    r.system.total_memory_mb = 16384;
    r.system.os_name = "Debian GNU/Linux";
    r.system.os_version = "12 (bookworm)";
    r.system.architecture = "x86_64";
    r.system.success = true;
    r.host_name = "synthetic-host";
    return r;
}

// Six weeks of a machine used now and then, ending at `end`: a single-core
// series most days, a multi-core run twice a week, a stability test now and
// then, a failed series and a failed stability test in the last days; scores step up a little after a firmware update
// halfway through. Fixed seed: the same history every time.
inline std::vector<ResultRecord> syntheticWeeks(const QDateTime& end, int weeks = 6)
{
    std::mt19937 random(20250601);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<ResultRecord> records;
    const QDateTime start = end.addDays(-7 * weeks);
    for (int day = 0; day < 7 * weeks; ++day) {
        const QDateTime at = start.addDays(day).addSecs(9 * 3600 + static_cast<int>(random() % (10 * 3600)));
        const double step = day >= 7 * weeks / 2 ? 1.04 : 1.0;
        if (random() % 10 < 6)
            records.push_back(syntheticResult(ResultMode::single, isoUtc(at), std::round(702 * step + 9 * noise(random))));
        if (day % 4 == 1)
            records.push_back(syntheticResult(ResultMode::multi, isoUtc(at.addSecs(600)),
                                              std::round(2710 * step + 40 * noise(random))));
        if (day % 13 == 5)
            records.push_back(syntheticResult(ResultMode::stress, isoUtc(at.addSecs(1800)), 0));
    }
    records.push_back(syntheticResult(ResultMode::single, isoUtc(end.addDays(-3).addSecs(-20000)), 0,
                                      "Computed digits do not match pi (run 3 of 5)"));
    records.push_back(syntheticResult(ResultMode::stress, isoUtc(end.addDays(-2).addSecs(-30000)), 0,
                                      "Computed digits do not match pi"));
    return records;
}

// Stores the records in the history at result_history_default_path().
inline void seedHistory(const std::vector<ResultRecord>& records)
{
    const std::unique_ptr<ResultStore> store = result_history_open(result_history_default_path());
    for (const ResultRecord& record : records)
        store->add(record);
}
