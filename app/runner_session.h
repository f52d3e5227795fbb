// Runs the runner (the engine on several CPUs) off the GUI thread for one
// window: runner_run blocks, so it gets a thread of its own, and its events
// and its report reach the GUI thread through GuiQueue, in the order they
// happened. Handlers are set and called on the GUI thread only.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "runner/runner.h"

// What a window shows of one runner event; a copy, since the runner's own
// event points at data that lives only during the call.
struct RunnerSessionEvent {
    RunnerEventKind kind;
    int32_t worker;      // -1 for the supervisor's events
    int32_t run;         // the run on that worker, 0 when not about a run
    double seconds;      // since the release
    bool runError;       // run_finished: the run counts as an error
    bool runCancelled;   // run_finished: the run was stopped
    std::vector<RunnerWorkerStatus> statuses;  // tick: one per worker
};

class RunnerSession : public std::enable_shared_from_this<RunnerSession> {
public:
    using EventHandler = std::function<void(const RunnerSessionEvent&)>;
    using FinishHandler = std::function<void(const RunnerReport&)>;

    // The thread keeps the session alive until the runner has ended.
    static std::shared_ptr<RunnerSession> create();
    ~RunnerSession();

    // Starts runner_run with the config on a thread of its own and returns
    // at once; false (and nothing starts) while a run is going on. The
    // session sets the config's stop flag and event function. Iteration
    // events are not passed on. The finish handler runs after every event.
    bool start(RunnerConfig config, EventHandler onEvent, FinishHandler onFinish);
    // Asks the run to end; workers stop at the engine's next check. Any thread.
    void stop();
    // Drops the handlers and stops: for a window that is going away while
    // the runner still runs. GUI thread.
    void detach();

    // A run has started and its finish has not been delivered. GUI thread.
    bool isRunning() const { return running_; }

    // Runner threads of all sessions still going, finished or not delivered.
    static int activeThreads();

private:
    RunnerSession() = default;
    static void forwardEvent(const RunnerEvent* event, void* context);

    std::atomic<bool> stop_{false};
    bool running_ = false;
    EventHandler onEvent_;
    FinishHandler onFinish_;
};
