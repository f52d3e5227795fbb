// Runs a benchmark series off the GUI thread, forwards its progress reports
// and delivers its result on the GUI thread, keeping the last result and two
// flags for the display. Flags are touched on the GUI thread only.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "engine/benchmark.h"

class BenchmarkCoordinator : public std::enable_shared_from_this<BenchmarkCoordinator> {
public:
    // Runs a series reporting through (callback, context). It should end
    // with "Cancelled" soon after seriesStop(context) is set.
    using SeriesFunction = std::function<BenchmarkResult(BenchmarkProgressFn, void*)>;
    // (iteration over the whole series, precision in digits, seconds of the iteration)
    using ProgressHandler = std::function<void(int, int, double)>;
    using CompletionHandler = std::function<void(BenchmarkResult)>;

    // What a series may hand back beside its result, for the history: the
    // record and the details of each run it started, side by side.
    struct SeriesRuns {
        std::vector<BenchmarkResult> results;
        std::vector<PiRunDetails> details;
    };

    // Reports one series makes: runs times iterations per run.
    static constexpr int iterationsPerSeries =
        pi_benchmark_series_runs * pi_benchmark_iterations_per_run;

    // A running series keeps its coordinator alive, so it must be shared.
    // The series function is normally engineSeries.
    static std::shared_ptr<BenchmarkCoordinator> create(SeriesFunction series);

    // The engine's series of five runs, keeping each run in seriesRuns and
    // stopping at the engine's next check once seriesStop is set.
    static BenchmarkResult engineSeries(BenchmarkProgressFn callback, void* context);
    // Same, each run (from 0) with the hooks `hooksOfRun` gives it (test seams).
    using RunHooksFunction = std::function<PiRunHooks(int run)>;
    static BenchmarkResult engineSeriesWith(BenchmarkProgressFn callback, void* context,
                                            const RunHooksFunction& hooksOfRun);
    // Where a series function keeps its runs: `context` is the one it was
    // called with. Only the series' own thread touches it until it returns.
    static SeriesRuns* seriesRuns(void* context);
    // The series' stop flag, set by cancelBenchmark; any thread may read it.
    static const std::atomic<bool>* seriesStop(void* context);

    // Starts a series on a worker thread unless one is running; returns at
    // once. The progress handler runs on the worker thread and must only post
    // to the GUI thread with GuiQueue::post; the completion runs on the GUI
    // thread after the flags are updated and after every task so posted.
    // Either handler may be empty. Call on the GUI thread.
    void startBenchmark(ProgressHandler progress, CompletionHandler completion);
    // Asks the running series to stop. It ends at the engine's next check
    // and is delivered like any other, as a failure with "Cancelled"; until
    // then isRunning stays set, so no second series can overlap it.
    void cancelBenchmark();

    bool isRunning() const { return isRunning_; }
    void setIsRunning(bool running) { isRunning_ = running; }
    BenchmarkResult lastResult() const { return lastResult_; }
    void setLastResult(const BenchmarkResult& result) { lastResult_ = result; }
    bool hasResult() const { return hasResult_; }
    void setHasResult(bool has) { hasResult_ = has; }
    // The runs the last series kept (none when its function kept none).
    const SeriesRuns& lastRuns() const { return lastRuns_; }
    int estimatedIterations() const { return estimatedIterations_; }
    void setEstimatedIterations(int iterations) { estimatedIterations_ = iterations; }

private:
    explicit BenchmarkCoordinator(SeriesFunction series);

    SeriesFunction series_;
    // The running series' own flag: a late cancel cannot reach a later series.
    std::shared_ptr<std::atomic<bool>> stop_;
    bool isRunning_ = false;
    BenchmarkResult lastResult_{};
    SeriesRuns lastRuns_;
    bool hasResult_ = false;
    int estimatedIterations_ = 0;
};
