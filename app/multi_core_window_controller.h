// The multi-core benchmark window: five verified runs on every CPU at once,
// then the multi-core score (on the single-core scale: W CPUs with perfect
// scaling score W times one), the wall time and the scaling.
#pragma once

#include "runner_window_controller.h"

class MultiCoreWindowController : public RunnerWindowController {
    Q_OBJECT

public:
    explicit MultiCoreWindowController(RunnerSetup setup = {}, QWidget* parent = nullptr);

    // Runs on each CPU: as many as a single-core series makes.
    static constexpr int runsPerCpu = pi_benchmark_series_runs;

protected:
    RunnerConfig makeConfig(const std::vector<SysinfoCpu>& cpus) const override;
    void showIdle() override;
    void showRunning(double seconds) override;
    void showReport(const RunnerReport& report) override;
    QString runningStateText(int run) const override;
    std::optional<ResultRecord> makeResult(const RunnerReport& report, const SystemInfo& info,
                                           const std::string& startedAt) const override;
};
