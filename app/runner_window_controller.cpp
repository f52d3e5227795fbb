#include "runner_window_controller.h"

#include <algorithm>

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "card_frame.h"
#include "cpu_grid.h"
#include "palette.h"
#include "runner_session.h"
#include "text_style.h"

namespace {

// Rows shown before the grid scrolls: machines with more CPUs keep a window
// that fits a screen.
constexpr int visibleGridRows = 16;

}  // namespace

RunnerWindowController::RunnerWindowController(const QString& title, RunnerSetup setup, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinimizeButtonHint)
    , setup_(std::move(setup))
    , session_(RunnerSession::create())
{
    setWindowTitle(title);
    cpus_ = setup_.cpus.empty() ? runner_default_cpus() : setup_.cpus;
    rows_.resize(cpus_.size());
}

RunnerWindowController::~RunnerWindowController()
{
    // The runner may still be busy; it must find nobody to report to.
    session_->detach();
}

void RunnerWindowController::setupUI()
{
    auto* content = new QVBoxLayout(this);
    content->setContentsMargins(20, 20, 20, 20);
    content->setSpacing(20);

    resultsCard_ = new CardFrame;
    resultsCard_->setObjectName(QStringLiteral("resultsCard"));
    auto* results = new QVBoxLayout(resultsCard_);
    results->setContentsMargins(16, 16, 16, 16);
    results->setSpacing(12);
    headlineLabel_ = new QLabel;
    headlineLabel_->setObjectName(QStringLiteral("headlineLabel"));
    headlineLabel_->setFont(TextStyle::menlo(48));
    headlineLabel_->setAlignment(Qt::AlignCenter);
    detailLabel_ = new QLabel;
    detailLabel_->setObjectName(QStringLiteral("detailLabel"));
    detailLabel_->setFont(TextStyle::menlo(14));
    detailLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    detailLabel_->setWordWrap(true);
    results->addWidget(headlineLabel_);
    results->addWidget(detailLabel_);
    content->addWidget(resultsCard_);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(8);
    addControls(controls);
    controls->addStretch(1);
    startButton_ = new QPushButton(QStringLiteral("Start"));
    startButton_->setObjectName(QStringLiteral("startButton"));
    startButton_->setDefault(true);  // Return starts
    stopButton_ = new QPushButton(QStringLiteral("Stop"));
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setToolTip(QStringLiteral("Stop (Esc)"));
    controls->addWidget(startButton_);
    controls->addWidget(stopButton_);
    content->addLayout(controls);
    connect(startButton_, &QPushButton::clicked, this, &RunnerWindowController::start);
    connect(stopButton_, &QPushButton::clicked, this, &RunnerWindowController::stop);

    cpuGrid_ = new CpuGrid;
    cpuGrid_->setObjectName(QStringLiteral("cpuGrid"));
    cpuGrid_->setCpus(cpus_);
    gridScroll_ = new QScrollArea;
    gridScroll_->setFrameShape(QFrame::NoFrame);
    gridScroll_->setWidgetResizable(true);
    gridScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    gridScroll_->setFocusPolicy(Qt::NoFocus);
    gridScroll_->viewport()->setAutoFillBackground(false);
    gridScroll_->setWidget(cpuGrid_);
    cpuGrid_->setAutoFillBackground(false);
    content->addWidget(gridScroll_);

    setTabOrder(startButton_, stopButton_);
    applyTextColors();
    setPhase(Phase::Idle);
    showIdle();
    startButton_->setFocus();
}

void RunnerWindowController::addControls(QHBoxLayout*)
{
}

void RunnerWindowController::start()
{
    if (phase_ == Phase::Running || phase_ == Phase::Stopping)
        return;
    RunnerConfig config = makeConfig(cpus_);
    if (setup_.run) {
        config.run = setup_.run;
        config.run_context = setup_.runContext;
    }
    config.available_bytes = setup_.availableBytes;
    config.tick_seconds = setup_.tickSeconds;

    rows_.assign(cpus_.size(), RowLive{});
    startedAt_ = result_utc_now();
    for (int row = 0; row < cpuGrid_->rowCount(); ++row) {
        cpuGrid_->setState(row, QStringLiteral("Waiting"));
        cpuGrid_->setCounts(row, 0, 0);
    }
    QPointer<RunnerWindowController> self(this);
    session_->start(
        std::move(config),
        [self](const RunnerSessionEvent& event) {
            if (self)
                self->handleEvent(event);
        },
        [self](const RunnerReport& report) {
            if (self)
                self->handleFinish(report);
        });
    setPhase(Phase::Running);
    showRunning(0.0);
}

void RunnerWindowController::stop()
{
    if (phase_ != Phase::Running)
        return;
    session_->stop();
    setPhase(Phase::Stopping);
    setDetail(QStringLiteral("Stopping\u2026"), TextRole::Secondary);
}

void RunnerWindowController::reject()
{
    if (phase_ == Phase::Running)
        stop();
    else if (phase_ != Phase::Stopping)
        QDialog::reject();
}

void RunnerWindowController::closeEvent(QCloseEvent* event)
{
    if (phase_ == Phase::Running || phase_ == Phase::Stopping) {
        // Closing stops the run; its report, whenever it comes, goes nowhere.
        session_->detach();
        session_ = RunnerSession::create();
        rows_.assign(cpus_.size(), RowLive{});
        cpuGrid_->setCpus(cpus_);
        setPhase(Phase::Idle);
        showIdle();
        event->accept();
        return;
    }
    QDialog::closeEvent(event);
}

void RunnerWindowController::setPhase(Phase phase)
{
    const bool running = phase == Phase::Running || phase == Phase::Stopping;
    const bool startHadFocus = startButton_->hasFocus();
    phase_ = phase;
    startButton_->setEnabled(!running);
    stopButton_->setEnabled(phase == Phase::Running);
    // Keep the keyboard on the button that can act next: Stop while the run
    // goes on, Start again when the focus was lost to a disabled control.
    const QWidget* focus = focusWidget();
    if (phase == Phase::Running && startHadFocus)
        stopButton_->setFocus();
    else if (!running && (!focus || !focus->isEnabled() || focus == stopButton_))
        startButton_->setFocus();
    emit phaseChanged(phase);
}

void RunnerWindowController::handleEvent(const RunnerSessionEvent& event)
{
    const bool aboutWorker = event.worker >= 0 && static_cast<size_t>(event.worker) < rows_.size();
    switch (event.kind) {
    case RunnerEventKind::pinned:
        if (aboutWorker)
            rows_[static_cast<size_t>(event.worker)].used = true;
        break;
    case RunnerEventKind::released:
        // Every worker is past its pinning now; a CPU without one was left
        // out for lack of memory.
        for (size_t row = 0; row < rows_.size(); ++row) {
            if (!rows_[row].used)
                cpuGrid_->setState(static_cast<int>(row), QStringLiteral("Not used"));
        }
        break;
    case RunnerEventKind::run_started:
        if (aboutWorker)
            cpuGrid_->setState(event.worker, runningStateText(event.run));
        break;
    case RunnerEventKind::run_finished:
        if (aboutWorker) {
            RowLive& row = rows_[static_cast<size_t>(event.worker)];
            row.lastRunCancelled = event.runCancelled;
            if (event.runError)
                ++row.errors;
            else if (!event.runCancelled)
                ++row.passed;
            cpuGrid_->setCounts(event.worker, row.passed, row.errors);
        }
        break;
    case RunnerEventKind::worker_finished:
        if (aboutWorker) {
            RowLive& row = rows_[static_cast<size_t>(event.worker)];
            row.finished = true;
            if (row.errors > 0)
                cpuGrid_->setState(event.worker, QStringLiteral("Error"), true);
            else
                cpuGrid_->setState(event.worker, row.lastRunCancelled ? QStringLiteral("Stopped") : QStringLiteral("Done"));
        }
        break;
    case RunnerEventKind::tick:
        if (phase_ == Phase::Running)
            showRunning(event.seconds);
        break;
    case RunnerEventKind::iteration:
    case RunnerEventKind::finished:
        break;
    }
}

void RunnerWindowController::handleFinish(const RunnerReport& report)
{
    lastReport_ = report;
    for (size_t row = 0; row < rows_.size(); ++row) {
        const int at = static_cast<int>(row);
        if (row >= report.workers.size()) {
            cpuGrid_->setState(at, QStringLiteral("Not used"));
            continue;
        }
        const RunnerWorkerReport& worker = report.workers[row];
        cpuGrid_->setCounts(at, worker.runs_passed, worker.errors);
        rows_[row].passed = worker.runs_passed;
        rows_[row].errors = worker.errors;
        // A CPU without errors in a test that a stop or another CPU's
        // error ended was stopped, even between two runs.
        const bool cutShort = report.end == RunnerEnd::stopped || report.end == RunnerEnd::first_error;
        if (worker.errors > 0)
            cpuGrid_->setState(at, QStringLiteral("Error"), true);
        else
            cpuGrid_->setState(at, cutShort ? QStringLiteral("Stopped") : QStringLiteral("Done"));
    }
    setPhase(Phase::Finished);
    showReport(report);
    emit finished();
}

int RunnerWindowController::runsPassedSoFar() const
{
    int passed = 0;
    for (const RowLive& row : rows_)
        passed += row.passed;
    return passed;
}

void RunnerWindowController::setHeadline(const QString& text)
{
    headlineLabel_->setText(text);
}

void RunnerWindowController::setDetail(const QString& text, TextRole role)
{
    detailRole_ = role;
    detailLabel_->setText(text);
    applyTextColors();
    fitHeight();
}

void RunnerWindowController::applyTextColors()
{
    TextStyle::setTextColor(headlineLabel_, Palette::textScoreColor().resolved());
    QColor detail;
    switch (detailRole_) {
    case TextRole::Score:
        detail = Palette::textScoreColor().resolved();
        break;
    case TextRole::Primary:
        detail = Palette::labelColor();
        break;
    case TextRole::Secondary:
        detail = Palette::secondaryLabelColor();
        break;
    case TextRole::Error:
        detail = Palette::textErrorColor();
        break;
    }
    TextStyle::setTextColor(detailLabel_, detail);
}

void RunnerWindowController::fitHeight()
{
    QLayout* content = layout();
    if (!content || !cpuGrid_)
        return;
    // The grid shows every row up to a screenful, then scrolls.
    cpuGrid_->layout()->invalidate();
    const int gridHeight = cpuGrid_->sizeHint().height();
    const int rows = std::max(cpuGrid_->rowCount(), 1);
    const int perRow = (gridHeight - 32) / (rows + 1);
    gridScroll_->setFixedHeight(rows <= visibleGridRows ? gridHeight : 32 + perRow * (visibleGridRows + 1));
    resultsCard_->layout()->invalidate();
    content->invalidate();
    const int height = content->hasHeightForWidth() ? content->totalHeightForWidth(contentWidth)
                                                    : content->totalSizeHint().height();
    setFixedSize(contentWidth, height);
}

void RunnerWindowController::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // A theme switch: resolve the appearance-dependent colours again.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) &&
        headlineLabel_) {
        applyTextColors();
        update();
    }
}

std::optional<ResultRecord> RunnerWindowController::lastResult(const SystemInfo& info) const
{
    if (startedAt_.empty() || phase_ != Phase::Finished)
        return std::nullopt;
    std::optional<ResultRecord> record = makeResult(lastReport_, info, startedAt_);
    if (record)
        record->test_fake_runs = setup_.run != nullptr;
    return record;
}
