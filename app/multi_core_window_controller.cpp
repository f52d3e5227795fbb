#include "multi_core_window_controller.h"

#include "engine/engine_path.h"
#include "results/result_runner.h"

#include "cpu_grid.h"

namespace {

QString cpusText(size_t count)
{
    return count == 1 ? QStringLiteral("1 CPU") : QStringLiteral("%1 CPUs").arg(count);
}

}  // namespace

MultiCoreWindowController::MultiCoreWindowController(RunnerSetup setup, QWidget* parent)
    : RunnerWindowController(QStringLiteral("Multi-Core Benchmark"), std::move(setup), parent)
{
    setupUI();
}

RunnerConfig MultiCoreWindowController::makeConfig(const std::vector<SysinfoCpu>& cpus) const
{
    return runner_multi_config(cpus, runsPerCpu);
}

QString MultiCoreWindowController::runningStateText(int run) const
{
    return QStringLiteral("Run %1 of %2").arg(run).arg(runsPerCpu);
}

void MultiCoreWindowController::showIdle()
{
    setHeadline(QStringLiteral("--"));
    setDetail(QStringLiteral("%1 runs on each of %2").arg(runsPerCpu).arg(cpusText(cpus().size())),
              TextRole::Secondary);
}

void MultiCoreWindowController::showRunning(double seconds)
{
    setHeadline(QStringLiteral("--"));
    setDetail(QStringLiteral("Running %1, %2 of %3 runs passed")
                  .arg(QString::fromStdString(runner_format_clock(seconds)))
                  .arg(runsPassedSoFar())
                  .arg(static_cast<int>(cpus().size()) * runsPerCpu),
              TextRole::Secondary);
}

void MultiCoreWindowController::showReport(const RunnerReport& report)
{
    const RunnerMultiResult result = runner_multi_result(report);
    // Fewer CPUs than asked for, when their runs would not all fit in memory.
    QString memory;
    if (report.memory_limited)
        memory = QStringLiteral("\nMemory for %1 of %2 only")
                     .arg(report.workers.size())
                     .arg(cpusText(report.cpus_requested.size()));
    if (!result.success) {
        setHeadline(QStringLiteral("--"));
        const QString message = QString::fromStdString(result.error_message);
        const bool cancelled = message == QLatin1String(pi_message_cancelled);
        setDetail(message + memory, cancelled ? TextRole::Secondary : TextRole::Error);
        return;
    }
    setHeadline(QString::number(result.score, 'f', 0));
    setDetail(QStringLiteral("%1 \u00d7 %2 runs in %3 s\nscaling %4%5")
                  .arg(cpusText(static_cast<size_t>(result.workers)))
                  .arg(result.runs_per_worker)
                  .arg(result.wall_seconds, 0, 'f', 3)
                  .arg(result.scaling, 0, 'f', 2)
                  .arg(memory),
              TextRole::Primary);
}

std::optional<ResultRecord> MultiCoreWindowController::makeResult(const RunnerReport& report, const SystemInfo& info,
                                                                const std::string& startedAt) const
{
    // Stopped by the user, it measured nothing; an error is a result.
    if (report.end == RunnerEnd::stopped && !report.has_error)
        return std::nullopt;
    return result_from_multi(report, info, pi_engine_path(), startedAt);
}
