#include "stability_window_controller.h"

#include "engine/engine_path.h"
#include "results/result_runner.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "text_style.h"

StabilityWindowController::StabilityWindowController(RunnerSetup setup, QWidget* parent)
    : RunnerWindowController(QStringLiteral("Stability Test"), std::move(setup), parent)
{
    setupUI();
    setTabOrder(durationBox_, startButton());
    connect(this, &RunnerWindowController::phaseChanged, this, [this](Phase phase) {
        durationBox_->setEnabled(phase == Phase::Idle || phase == Phase::Finished);
    });
}

const QList<int>& StabilityWindowController::durationMinutes()
{
    static const QList<int> minutes{1, 10, 30, 60, 0};
    return minutes;
}

void StabilityWindowController::addControls(QHBoxLayout* controls)
{
    auto* label = new QLabel(QStringLiteral("&Duration:"));
    label->setFont(TextStyle::verdana(13));
    durationBox_ = new QComboBox;
    durationBox_->setObjectName(QStringLiteral("durationBox"));
    for (int minutes : durationMinutes()) {
        const QString text = minutes == 0   ? QStringLiteral("Until stopped")
                             : minutes == 1 ? QStringLiteral("1 minute")
                                            : QStringLiteral("%1 minutes").arg(minutes);
        durationBox_->addItem(text, minutes);
    }
    durationBox_->setCurrentIndex(static_cast<int>(durationMinutes().indexOf(defaultDurationMinutes)));
    label->setBuddy(durationBox_);
    controls->addWidget(label);
    controls->addWidget(durationBox_);
    connect(durationBox_, &QComboBox::currentIndexChanged, this, [this] {
        if (phase() == Phase::Idle)
            showIdle();
    });
}

double StabilityWindowController::durationSeconds() const
{
    return durationBox_->currentData().toInt() * 60.0;
}

QString StabilityWindowController::durationText() const
{
    const double seconds = durationSeconds();
    return seconds > 0.0 ? QStringLiteral("of %1").arg(QString::fromStdString(runner_format_clock(seconds)))
                         : QStringLiteral("until stopped");
}

RunnerConfig StabilityWindowController::makeConfig(const std::vector<SysinfoCpu>& cpus) const
{
    return runner_stress_config(cpus, durationSeconds(), false);
}

QString StabilityWindowController::runningStateText(int run) const
{
    return QStringLiteral("Run %1").arg(run);
}

void StabilityWindowController::showIdle()
{
    setHeadline(QStringLiteral("0:00"));
    const size_t count = cpus().size();
    const QString cpusText = count == 1 ? QStringLiteral("1 CPU") : QStringLiteral("%1 CPUs").arg(count);
    const QString span = durationSeconds() > 0.0 ? QStringLiteral("for %1").arg(durationBox_->currentText())
                                                 : QStringLiteral("until stopped");
    setDetail(QStringLiteral("%1 %2; the first error ends the test").arg(cpusText, span), TextRole::Secondary);
}

void StabilityWindowController::showRunning(double seconds)
{
    setHeadline(QString::fromStdString(runner_format_clock(seconds)));
    const int passed = runsPassedSoFar();
    setDetail(QStringLiteral("%1, %2 %3 passed").arg(durationText()).arg(passed).arg(passed == 1 ? QStringLiteral("run") : QStringLiteral("runs")),
              TextRole::Secondary);
}

void StabilityWindowController::showReport(const RunnerReport& report)
{
    setHeadline(QString::fromStdString(runner_format_clock(report.wall_seconds)));
    setDetail(QString::fromStdString(runner_stress_verdict(report)),
              report.has_error ? TextRole::Error : TextRole::Primary);
}

std::optional<ResultRecord> StabilityWindowController::makeResult(const RunnerReport& report, const SystemInfo& info,
                                                                const std::string& startedAt) const
{
    // A stop is how a test without a duration ends: every test is kept.
    return result_from_stress(report, info, pi_engine_path(), startedAt, false);
}
