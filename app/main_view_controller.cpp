#include "main_view_controller.h"

#include <algorithm>
#include <cstring>

#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "card_frame.h"
#include "circular_progress_button.h"
#include "engine/engine_path.h"
#include "gui_queue.h"
#include "history_recorder.h"
#include "palette.h"
#include "result_texts.h"
#include "text_style.h"
#include "results/result_json.h"
#include "sysinfo/result_formatter.h"

namespace {

QString qs(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Only a changed name is news to a screen reader.
void setAccessibleNameIfChanged(QWidget* widget, const QString& name)
{
    if (widget->accessibleName() != name)
        widget->setAccessibleName(name);
}

const char rowNameProperty[] = "systemInfoRowName";
const char rowValueProperty[] = "systemInfoRowValue";

}  // namespace

MainViewController::MainViewController(QWidget* parent)
    : MainViewController([](SystemInfo* info) { collect_system_info(info); }, BenchmarkCoordinator::engineSeries, parent)
{
}

MainViewController::MainViewController(SystemInfoCollector collect,
                                       BenchmarkCoordinator::SeriesFunction series, QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(viewWidth, viewHeight);
    viewDidLoad(std::move(collect), std::move(series));
    fitContentHeight();
}

void MainViewController::viewDidLoad(SystemInfoCollector collect,
                                     BenchmarkCoordinator::SeriesFunction series)
{
    coordinator_ = BenchmarkCoordinator::create(std::move(series));
    historyRecorder_ = new HistoryRecorder(this);
    connect(historyRecorder_, &HistoryRecorder::recorded, this,
            [this](const QString&, const QString& problem) { showHistoryProblem(problem); });
    systemInfo_ = SystemInfo{};
    if (collect)
        collect(&systemInfo_);
    setupUI();
}

void MainViewController::setupUI()
{
    startButton_ = new CircularProgressButton(QRect(0, 0, 160, 160), this);
    startButton_->setObjectName(QStringLiteral("startButton"));
    startButton_->setTitle(QStringLiteral("START"));
    startButton_->setAccessibleDescription(
        QStringLiteral("Computes pi to 8,388,608 digits five times and scores this processor"));
    QPointer<MainViewController> weakSelf(this);
    startButton_->setOnClick([weakSelf] {
        if (weakSelf)
            weakSelf->startBenchmark();
    });

    setupResultsView();
    setupSystemInfoView();
    setupConstraints();
    updateResultsDisplay();
}

void MainViewController::setupResultsView()
{
    resultsContainerView_ = new CardFrame(this);
    resultsContainerView_->setObjectName(QStringLiteral("resultsContainerView"));
    resultsContainerView_->setAccessibleName(QStringLiteral("Result"));

    resultsStackView_ = new QVBoxLayout(resultsContainerView_);
    resultsStackView_->setSpacing(12);
    resultsStackView_->setContentsMargins(16, 16, 16, 16);

    scoreValueLabel_ = new QLabel;
    scoreValueLabel_->setObjectName(QStringLiteral("scoreValueLabel"));
    scoreValueLabel_->setFont(TextStyle::menlo(48));
    scoreValueLabel_->setAlignment(Qt::AlignCenter);

    // Spans the card and centres its text, so that a message in place of
    // the time wraps at the card's width.
    timeValueLabel_ = new QLabel;
    timeValueLabel_->setObjectName(QStringLiteral("timeValueLabel"));
    timeValueLabel_->setFont(TextStyle::menlo(14));
    timeValueLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    timeValueLabel_->setWordWrap(true);

    // A vertical stack centres its views horizontally.
    resultsStackView_->addWidget(scoreValueLabel_, 0, Qt::AlignHCenter);
    resultsStackView_->addWidget(timeValueLabel_);
}

void MainViewController::setupSystemInfoView()
{
    systemInfoContainerView_ = new CardFrame(this);
    systemInfoContainerView_->setObjectName(QStringLiteral("systemInfoContainerView"));
    systemInfoContainerView_->setAccessibleName(QStringLiteral("System information"));

    systemInfoStackView_ = new QVBoxLayout(systemInfoContainerView_);
    systemInfoStackView_->setSpacing(8);
    systemInfoStackView_->setContentsMargins(16, 16, 16, 16);

    createSystemInfoRowWithLabel(QStringLiteral("CPU:"), qs(ResultFormatter::formatCPU(systemInfo_)));
    createSystemInfoRowWithLabel(QStringLiteral("Cores:"), qs(ResultFormatter::formatCores(systemInfo_)));
    if (const auto frequency = ResultFormatter::formatFrequency(systemInfo_))
        createSystemInfoRowWithLabel(QStringLiteral("Frequency:"), qs(*frequency));
    createSystemInfoRowWithLabel(QStringLiteral("Memory:"), qs(ResultFormatter::formatMemory(systemInfo_)));
    createSystemInfoRowWithLabel(QStringLiteral("OS:"), qs(ResultFormatter::formatOS(systemInfo_)));
    createSystemInfoRowWithLabel(QStringLiteral("Architecture:"),
                                 qs(ResultFormatter::formatArchitecture(systemInfo_)));
}

void MainViewController::createSystemInfoRowWithLabel(const QString& label, const QString& value)
{
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(8);

    auto* nameLabel = new QLabel(label);
    nameLabel->setProperty(rowNameProperty, true);
    nameLabel->setFont(TextStyle::verdana(13));
    nameLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    nameLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    // Sits between the labels; the right-aligned value takes the spare width,
    // so it wraps only when it does not fit beside its name.
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    auto* valueLabel = new QLabel(value);
    valueLabel->setProperty(rowValueProperty, true);
    valueLabel->setFont(TextStyle::menlo(13));
    valueLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    valueLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    valueLabel->setWordWrap(true);

    // The name labels its value for screen readers: the buddy gives both
    // labels their label-for / labelled-by relation.
    nameLabel->setBuddy(valueLabel);

    rowLayout->addWidget(nameLabel);
    rowLayout->addWidget(spacer);
    rowLayout->addWidget(valueLabel, 1);
    systemInfoStackView_->addWidget(row);
    applyRowColors();
}

void MainViewController::applyRowColors()
{
    const auto labels = systemInfoContainerView_->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->property(rowNameProperty).toBool())
            TextStyle::setTextColor(label, Palette::secondaryLabelColor());
        else if (label->property(rowValueProperty).toBool())
            TextStyle::setTextColor(label, Palette::labelColor());
    }
}

void MainViewController::setupConstraints()
{
    // Button 20 from the top, each card 20 below the view above it and 20
    // from either side. The stretch takes what the cards leave of 505; a
    // view grown past it keeps 20 under the last card, as at the sides.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(20);
    startButton_->setFixedSize(160, 160);
    layout->addWidget(startButton_, 0, Qt::AlignHCenter);
    layout->addWidget(resultsContainerView_);
    layout->addWidget(systemInfoContainerView_);
    layout->addStretch(1);

    // Below the stretch, so it sits at the bottom and costs no room while hidden.
    historyNoticeLabel_ = new QLabel;
    historyNoticeLabel_->setObjectName(QStringLiteral("historyNoticeLabel"));
    historyNoticeLabel_->setFont(TextStyle::verdana(11));
    historyNoticeLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    historyNoticeLabel_->setWordWrap(true);
    historyNoticeLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TextStyle::setTextColor(historyNoticeLabel_, Palette::secondaryLabelColor());
    historyNoticeLabel_->hide();
    layout->addWidget(historyNoticeLabel_);
}

void MainViewController::startBenchmark()
{
    if (coordinator_->isRunning())
        return;
    startButton_->setEnabled(false);
    startButton_->setProgress(0.0);
    message_.reset();
    startedAt_ = result_utc_now();
    historyNoticeLabel_->hide();
    historyNoticeLabel_->clear();
    if (shownResult_) {
        shownResult_.reset();
        emit shownResultChanged(false);
    }

    QPointer<MainViewController> weakSelf(this);
    coordinator_->startBenchmark(
        // Worker thread: only post the number to the GUI thread.
        [weakSelf](int iteration, int, double) {
            GuiQueue::post([weakSelf, iteration] {
                if (weakSelf)
                    weakSelf->showProgress(iteration);
            });
        },
        [weakSelf](BenchmarkResult result) {
            if (weakSelf)
                weakSelf->finishBenchmark(result);
        });
    updateResultsDisplay();
    emit runningChanged(true);
}

void MainViewController::stopBenchmark()
{
    coordinator_->cancelBenchmark();
}

void MainViewController::showProgress(int iteration)
{
    const int estimated = coordinator_->estimatedIterations();
    // Divided in single precision; 0 / 0 gives NaN and falls to the integer test.
    const float ratio = static_cast<float>(iteration) / static_cast<float>(estimated);
    const double value =
        (ratio >= 1.0f || iteration >= estimated) ? 1.0 : static_cast<double>(ratio);
    startButton_->setProgress(value);
}

void MainViewController::finishBenchmark(const BenchmarkResult& result)
{
    startButton_->setProgress(result.success != 0 ? 1.0 : 0.0);
    startButton_->setTitle(QStringLiteral("START"));
    startButton_->setEnabled(true);
    if (result.success != 0) {
        message_.reset();
        updateResultsDisplay();
    } else {
        const size_t length = strnlen(result.error_message, sizeof result.error_message);
        const QString message = QString::fromUtf8(result.error_message, static_cast<qsizetype>(length));
        // A stop the user asked for is news, not a fault.
        if (message == QLatin1String(pi_message_cancelled))
            showMessage(message, MessageRole::Secondary);
        else
            showMessage(message.isEmpty() ? QStringLiteral("The benchmark failed") : message, MessageRole::Error);
    }
    // Shown first, kept after: the history never holds the result back.
    keepResult(result);
    emit runningChanged(false);
}

void MainViewController::keepResult(const BenchmarkResult& result)
{
    // A series stopped on request did not finish: nothing to keep.
    if (result.success == 0 &&
        std::strncmp(result.error_message, pi_message_cancelled, sizeof result.error_message) == 0)
        return;
    const BenchmarkCoordinator::SeriesRuns& runs = coordinator_->lastRuns();
    const size_t started = std::min(runs.results.size(), runs.details.size());
    shownResult_ = result_from_series(result, runs.results.data(), runs.details.data(), started, systemInfo_,
                                      pi_engine_path(), startedAt_);
    emit shownResultChanged(true);
    historyRecorder_->record(*shownResult_);
}

void MainViewController::showHistoryProblem(const QString& problem)
{
    if (problem.isEmpty())
        return;
    historyNoticeLabel_->setText(problem);
    historyNoticeLabel_->show();
    fitContentHeight();
}

void MainViewController::copyResult()
{
    if (!shownResult_)
        return;
    QGuiApplication::clipboard()->setText(ResultTexts::plainTextLines(*shownResult_).join(QLatin1Char('\n')) +
                                          QLatin1Char('\n'));
}

void MainViewController::saveResult()
{
    if (!shownResult_)
        return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QDateTime at = ResultTexts::startedAt(*shownResult_);
    const QString name = QStringLiteral("numera-%1-%2.json")
                             .arg(QString::fromLatin1(result_mode_name(shownResult_->mode)),
                                  (at.isValid() ? at : QDateTime::currentDateTimeUtc())
                                      .toLocalTime()
                                      .toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Result"),
                                                      QDir(folder).filePath(name),
                                                      QStringLiteral("JSON files (*.json)"));
    if (path.isEmpty())
        return;
    const QString error = saveResultTo(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Save Result"), error);
}

QString MainViewController::saveResultTo(const QString& path)
{
    if (!shownResult_)
        return QStringLiteral("There is no result to save.");
    const std::string text = result_json_dump(result_to_json(*shownResult_)) + "\n";
    // Written beside it and renamed over it: a failed write leaves any
    // earlier file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit())
        return QStringLiteral("Could not save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return {};
}

void MainViewController::showMessage(const QString& message, MessageRole role)
{
    message_ = Message{message, role};
    updateResultsDisplay();
}

void MainViewController::updateResultsDisplay()
{
    const QColor scoreColor = Palette::textScoreColor().resolved();
    if (coordinator_->hasResult()) {
        const BenchmarkResult result = coordinator_->lastResult();
        scoreValueLabel_->setText(qs(ResultFormatter::formatScore(result)));
        TextStyle::setTextColor(scoreValueLabel_, scoreColor);
        timeValueLabel_->setText(qs(ResultFormatter::formatTime(result)));
        TextStyle::setTextColor(timeValueLabel_, Palette::labelColor());
    } else {
        scoreValueLabel_->setText(QStringLiteral("--"));
        TextStyle::setTextColor(scoreValueLabel_, scoreColor);
        if (message_) {
            timeValueLabel_->setText(message_->text);
            TextStyle::setTextColor(timeValueLabel_, message_->role == MessageRole::Error ? Palette::textErrorColor()
                                                                              : Palette::secondaryLabelColor());
        } else {
            timeValueLabel_->setText(QStringLiteral("--"));
            TextStyle::setTextColor(timeValueLabel_, Palette::secondaryLabelColor());
        }
    }
    updateResultsAccessibleNames();
    fitContentHeight();
}

void MainViewController::updateResultsAccessibleNames()
{
    // Qt 6.4 has no announcement event, so the score label's name carries
    // the outcome and its change is the announcement of a finished series.
    // A start clears the result, so every finish changes the name.
    const QString score = scoreValueLabel_->text();
    const QString time = timeValueLabel_->text();
    if (coordinator_->hasResult()) {
        setAccessibleNameIfChanged(scoreValueLabel_, QStringLiteral("Score: %1, time: %2").arg(score, time));
        setAccessibleNameIfChanged(timeValueLabel_, QStringLiteral("Time: %1").arg(time));
    } else if (message_) {
        setAccessibleNameIfChanged(scoreValueLabel_, QStringLiteral("Score: %1, %2").arg(score, time));
        setAccessibleNameIfChanged(timeValueLabel_, time);
    } else {
        setAccessibleNameIfChanged(scoreValueLabel_, QStringLiteral("Score: %1").arg(score));
        setAccessibleNameIfChanged(timeValueLabel_, QStringLiteral("Time: %1").arg(time));
    }
}

void MainViewController::fitContentHeight()
{
    // Before setupConstraints there is nothing to measure.
    QLayout* content = layout();
    if (!content)
        return;
    // Measure now rather than when the posted layout requests arrive: drop
    // what the layouts remember of the cards' former texts.
    for (CardFrame* card : {resultsContainerView_, systemInfoContainerView_}) {
        card->layout()->invalidate();
        card->updateGeometry();
    }
    content->invalidate();
    const int needed = content->hasHeightForWidth() ? content->totalHeightForWidth(viewWidth)
                                                    : content->totalSizeHint().height();
    setFixedSize(viewWidth, std::max(viewHeight, needed));
}

void MainViewController::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // A theme switch: resolve every appearance-dependent colour again.
    if ((event->type() == QEvent::PaletteChange ||
         event->type() == QEvent::ApplicationPaletteChange) &&
        startButton_) {
        updateResultsDisplay();
        applyRowColors();
        TextStyle::setTextColor(historyNoticeLabel_, Palette::secondaryLabelColor());
        resultsContainerView_->update();
        systemInfoContainerView_->update();
    }
}
