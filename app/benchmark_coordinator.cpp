#include "benchmark_coordinator.h"

#include <thread>

#include "gui_queue.h"

namespace {

using ForwardFunction = std::function<void(int, int, double)>;

// Engine callback: the context is the forwarding function of the series.
void forwardProgress(int32_t iteration, int32_t precisionDigits, void* context,
                     double iterationSeconds)
{
    const auto& forward = *static_cast<const ForwardFunction*>(context);
    forward(iteration, precisionDigits, iterationSeconds);
}

}  // namespace

std::shared_ptr<BenchmarkCoordinator> BenchmarkCoordinator::create(SeriesFunction series)
{
    return std::shared_ptr<BenchmarkCoordinator>(new BenchmarkCoordinator(std::move(series)));
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
    ForwardFunction forward = [weakSelf, progress = std::move(progress)](
                                  int iteration, int precision, double seconds) {
        const auto self = weakSelf.lock();
        if (self && progress)
            progress(iteration, precision, seconds);
    };

    // One detached thread per series: a series cannot be stopped, and the
    // process must be able to end while one runs.
    std::thread([self = shared_from_this(), series = series_, forward = std::move(forward),
                 completion = std::move(completion)]() mutable {
        const BenchmarkResult result = series(forwardProgress, &forward);
        // Posted after every task the progress handler posted through the
        // GUI queue on this thread, so the GUI thread runs it after them.
        GuiQueue::post([self = std::move(self), completion = std::move(completion), result]() {
            self->lastResult_ = result;
            self->hasResult_ = result.success == 1;
            self->isRunning_ = false;
            if (completion)
                completion(result);
        });
    }).detach();
}

void BenchmarkCoordinator::cancelBenchmark()
{
    isRunning_ = false;
}
