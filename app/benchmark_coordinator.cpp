#include "benchmark_coordinator.h"

#include <thread>

#include "gui_queue.h"

namespace {

// What the series function is called with as its context.
struct SeriesContext {
    std::function<void(int, int, double)> forward;
    BenchmarkCoordinator::SeriesRuns runs;
    std::shared_ptr<std::atomic<bool>> stop;
};

// Engine callback: the context is the series' own.
void forwardProgress(int32_t iteration, int32_t precisionDigits, void* context,
                     double iterationSeconds)
{
    static_cast<const SeriesContext*>(context)->forward(iteration, precisionDigits, iterationSeconds);
}

struct RecordedRuns {
    BenchmarkCoordinator::SeriesRuns* runs;
    const BenchmarkCoordinator::RunHooksFunction* hooksOfRun;
    const std::atomic<bool>* stop;
};

// One run of engineSeries, its details kept.
void recordedRun(BenchmarkResult* result, const BenchmarkProgress* progress, void* context)
{
    const auto* recorded = static_cast<const RecordedRuns*>(context);
    const int run = static_cast<int>(recorded->runs->details.size());
    PiRunHooks hooks = *recorded->hooksOfRun ? (*recorded->hooksOfRun)(run) : PiRunHooks{};
    if (!hooks.stop)
        hooks.stop = recorded->stop;
    recorded->runs->details.emplace_back();
    hooks.details = &recorded->runs->details.back();
    pi_benchmark_run_with(result, progress, &hooks);
}

}  // namespace

std::shared_ptr<BenchmarkCoordinator> BenchmarkCoordinator::create(SeriesFunction series)
{
    return std::shared_ptr<BenchmarkCoordinator>(new BenchmarkCoordinator(std::move(series)));
}

BenchmarkResult BenchmarkCoordinator::engineSeries(BenchmarkProgressFn callback, void* context)
{
    return engineSeriesWith(callback, context, nullptr);
}

BenchmarkResult BenchmarkCoordinator::engineSeriesWith(BenchmarkProgressFn callback, void* context,
                                                       const RunHooksFunction& hooksOfRun)
{
    SeriesRuns* runs = seriesRuns(context);
    runs->results.assign(pi_benchmark_series_runs, BenchmarkResult{});
    runs->details.clear();
    runs->details.reserve(pi_benchmark_series_runs);  // hooks keep pointers into it
    RecordedRuns recorded{runs, &hooksOfRun, seriesStop(context)};
    PiSeriesOptions options{};
    options.runs = pi_benchmark_series_runs;
    options.run = recordedRun;
    options.run_context = &recorded;
    options.run_results = runs->results.data();
    options.stop = recorded.stop;
    const BenchmarkResult result = pi_benchmark_series_with(callback, context, &options);
    runs->results.resize(runs->details.size());  // the runs started
    return result;
}

BenchmarkCoordinator::SeriesRuns* BenchmarkCoordinator::seriesRuns(void* context)
{
    return &static_cast<SeriesContext*>(context)->runs;
}

const std::atomic<bool>* BenchmarkCoordinator::seriesStop(void* context)
{
    return static_cast<SeriesContext*>(context)->stop.get();
}

BenchmarkCoordinator::BenchmarkCoordinator(SeriesFunction series)
    : series_(std::move(series))
{
}

void BenchmarkCoordinator::startBenchmark(ProgressHandler progress, CompletionHandler completion)
{
    if (isRunning_)
        return;
    isRunning_ = true;
    hasResult_ = false;
    estimatedIterations_ = iterationsPerSeries;

    // Weak, so the reports alone do not keep us alive; the task below does.
    std::weak_ptr<BenchmarkCoordinator> weakSelf = weak_from_this();
    auto context = std::make_unique<SeriesContext>();
    context->forward = [weakSelf, progress = std::move(progress)](int iteration, int precision, double seconds) {
        const auto self = weakSelf.lock();
        if (self && progress)
            progress(iteration, precision, seconds);
    };
    stop_ = std::make_shared<std::atomic<bool>>(false);
    context->stop = stop_;

    // One detached thread per series, so the process can end while one runs.
    std::thread([self = shared_from_this(), series = series_, context = std::move(context),
                 completion = std::move(completion)]() mutable {
        const BenchmarkResult result = series(forwardProgress, context.get());
        // Posted after every task the progress handler posted through the
        // GUI queue on this thread, so the GUI thread runs it after them.
        GuiQueue::post([self = std::move(self), completion = std::move(completion), result,
                        runs = std::move(context->runs)]() mutable {
            self->lastResult_ = result;
            self->lastRuns_ = std::move(runs);
            self->hasResult_ = result.success == 1;
            self->isRunning_ = false;
            if (completion)
                completion(result);
        });
    }).detach();
}

void BenchmarkCoordinator::cancelBenchmark()
{
    if (isRunning_ && stop_)
        stop_->store(true);
}
