#include "runner_session.h"

#include <thread>

#include "gui_queue.h"

namespace {

std::atomic<int> runnerThreads{0};

}  // namespace

std::shared_ptr<RunnerSession> RunnerSession::create()
{
    return std::shared_ptr<RunnerSession>(new RunnerSession);
}

RunnerSession::~RunnerSession() = default;

int RunnerSession::activeThreads()
{
    return runnerThreads.load();
}

bool RunnerSession::start(RunnerConfig config, EventHandler onEvent, FinishHandler onFinish)
{
    if (running_)
        return false;
    running_ = true;
    onEvent_ = std::move(onEvent);
    onFinish_ = std::move(onFinish);
    // The previous run's thread no longer reads the flag: its finish, which
    // cleared running_, was posted after runner_run returned.
    stop_.store(false);
    config.stop = &stop_;
    config.on_event = forwardEvent;
    config.event_context = this;

    runnerThreads.fetch_add(1);
    // Detached, so the process can end while workers are still in a run.
    std::thread([self = shared_from_this(), config = std::move(config)]() {
        auto report = std::make_shared<RunnerReport>();
        runner_run(&config, report.get());
        // Posted after every event the workers and the supervisor posted,
        // all of which happened before runner_run returned.
        GuiQueue::post([self, report] {
            self->running_ = false;
            if (self->onFinish_)
                self->onFinish_(*report);
        });
        runnerThreads.fetch_sub(1);
    }).detach();
    return true;
}

void RunnerSession::forwardEvent(const RunnerEvent* event, void* context)
{
    // Iteration events come about twenty times a run per worker and the
    // windows show none of them; the rest are a few per run.
    if (event->kind == RunnerEventKind::iteration)
        return;
    RunnerSessionEvent copy{event->kind, event->worker, event->run, event->seconds, false, false, {}};
    if (event->kind == RunnerEventKind::run_finished && event->record) {
        copy.runError = event->record->error;
        copy.runCancelled = event->record->details.outcome == PiRunOutcome::cancelled;
    }
    if (event->kind == RunnerEventKind::tick && event->statuses)
        copy.statuses.assign(event->statuses, event->statuses + event->status_count);
    auto* session = static_cast<RunnerSession*>(context);
    GuiQueue::post([self = session->shared_from_this(), copy = std::move(copy)] {
        if (self->onEvent_)
            self->onEvent_(copy);
    });
}

void RunnerSession::stop()
{
    stop_.store(true);
}

void RunnerSession::detach()
{
    onEvent_ = nullptr;
    onFinish_ = nullptr;
    stop();
}
