// The stability test window: every CPU makes proven runs back to back for
// the chosen time (or until stopped); the first error stops the test and is
// named with its CPU. Shows the elapsed time while it runs and the verdict
// at the end.
#pragma once

#include "runner_window_controller.h"

class QComboBox;

class StabilityWindowController : public RunnerWindowController {
    Q_OBJECT

public:
    explicit StabilityWindowController(RunnerSetup setup = {}, QWidget* parent = nullptr);

    QComboBox* durationBox() const { return durationBox_; }
    // Seconds of the chosen duration; 0 until stopped.
    double durationSeconds() const;

    // The choices, in minutes (0: until stopped), and the one chosen at first.
    static const QList<int>& durationMinutes();
    static constexpr int defaultDurationMinutes = 10;

protected:
    void addControls(QHBoxLayout* controls) override;
    RunnerConfig makeConfig(const std::vector<SysinfoCpu>& cpus) const override;
    void showIdle() override;
    void showRunning(double seconds) override;
    void showReport(const RunnerReport& report) override;
    QString runningStateText(int run) const override;
    std::optional<ResultRecord> makeResult(const RunnerReport& report, const SystemInfo& info,
                                           const std::string& startedAt) const override;

private:
    QString durationText() const;

    QComboBox* durationBox_ = nullptr;
};
