// What the multi-core benchmark and the stability test windows share: a
// results card (a large figure and a line under it), a row of controls with
// Start and Stop, and the grid of CPUs, in the main window's palette and
// card style. The run goes through a RunnerSession, so the GUI thread never
// waits for it. Esc stops a run, or closes the window when none is going;
// closing the window stops the run too.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>

#include "results/result_record.h"
#include "runner/runner.h"
#include "sysinfo/cpu_list.h"

class CardFrame;
class CpuGrid;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class RunnerSession;
struct RunnerSessionEvent;

// Where a window's runs come from: the machine's CPUs and the engine, or
// stand-ins for tests.
struct RunnerSetup {
    std::vector<SysinfoCpu> cpus;  // empty: runner_default_cpus()
    RunnerRunFn run = nullptr;     // null: the engine
    void* runContext = nullptr;
    int64_t availableBytes = -1;   // as RunnerConfig: -1 reads MemAvailable
    double tickSeconds = 1.0;
};

class RunnerWindowController : public QDialog {
    Q_OBJECT

public:
    enum class Phase { Idle, Running, Stopping, Finished };
    Q_ENUM(Phase)

    ~RunnerWindowController() override;

    static constexpr int contentWidth = 400;

    Phase phase() const { return phase_; }
    const std::vector<SysinfoCpu>& cpus() const { return cpus_; }

    QLabel* headlineLabel() const { return headlineLabel_; }
    QLabel* detailLabel() const { return detailLabel_; }
    QPushButton* startButton() const { return startButton_; }
    QPushButton* stopButton() const { return stopButton_; }
    CpuGrid* cpuGrid() const { return cpuGrid_; }

    // The last finished run's report (empty before the first one ends).
    const RunnerReport& lastReport() const { return lastReport_; }
    // The last finished run as a result to keep, with the machine facts of
    // `info`; none before one ends or for one that is not a result (a
    // multi-core benchmark stopped before its end). Runs of test fakes are
    // marked as such.
    std::optional<ResultRecord> lastResult(const SystemInfo& info) const;

public slots:
    // Starts a run on every CPU unless one is going on.
    void start();
    // Asks the run to end; the workers stop at the engine's next check.
    void stop();
    // Esc: stops a run, or closes the window when none is going.
    void reject() override;

signals:
    void phaseChanged(RunnerWindowController::Phase phase);
    // A run ended and its report (lastReport()) is shown.
    void finished();

protected:
    RunnerWindowController(const QString& title, RunnerSetup setup, QWidget* parent);

    // Builds the window; subclasses call it from their constructor, after
    // which addControls() has put their own controls before Start and Stop.
    void setupUI();
    virtual void addControls(QHBoxLayout* controls);
    // The runner's configuration for a run on these CPUs.
    virtual RunnerConfig makeConfig(const std::vector<SysinfoCpu>& cpus) const = 0;
    // The results card before a run, while it runs (seconds since the
    // release) and when it has ended.
    virtual void showIdle() = 0;
    virtual void showRunning(double seconds) = 0;
    virtual void showReport(const RunnerReport& report) = 0;
    // The grid's state while run `run` goes on.
    virtual QString runningStateText(int run) const = 0;
    // The record of a finished run started at `startedAt` (UTC), or none.
    virtual std::optional<ResultRecord> makeResult(const RunnerReport& report, const SystemInfo& info,
                                                   const std::string& startedAt) const = 0;

    enum class TextRole { Score, Primary, Secondary, Error };
    void setHeadline(const QString& text);
    void setDetail(const QString& text, TextRole role);
    int runsPassedSoFar() const;

    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct RowLive {
        bool used = false;
        bool finished = false;
        bool lastRunCancelled = false;
        int passed = 0;
        int errors = 0;
    };

    void setPhase(Phase phase);
    void handleEvent(const RunnerSessionEvent& event);
    void handleFinish(const RunnerReport& report);
    void applyTextColors();
    void fitHeight();

    RunnerSetup setup_;
    std::vector<SysinfoCpu> cpus_;
    std::shared_ptr<RunnerSession> session_;
    Phase phase_ = Phase::Idle;
    std::vector<RowLive> rows_;
    RunnerReport lastReport_{};
    std::string startedAt_;
    TextRole detailRole_ = TextRole::Secondary;

    CardFrame* resultsCard_ = nullptr;
    QLabel* headlineLabel_ = nullptr;
    QLabel* detailLabel_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QScrollArea* gridScroll_ = nullptr;
    CpuGrid* cpuGrid_ = nullptr;
};
