// The whole content of the main window: the start button, the results card
// and the system information card. Owns the benchmark coordinator.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QWidget>

#include "benchmark_coordinator.h"
#include "results/result_record.h"
#include "sysinfo/system_info.h"

class CardFrame;
class CircularProgressButton;
class HistoryRecorder;
class QLabel;
class QVBoxLayout;

class MainViewController : public QWidget {
    Q_OBJECT

public:
    using SystemInfoCollector = std::function<void(SystemInfo*)>;

    // The view is always 400 wide and at least 505 tall; it grows taller
    // when its cards need more room, so no text is ever cut off.
    static constexpr int viewWidth = 400;
    static constexpr int viewHeight = 505;

    // How a message in place of the time is coloured: a failure in the
    // palette's error colour, a notice in the secondary text colour.
    enum class MessageRole { Error, Secondary };

    // Collects the machine facts and runs the engine's series.
    explicit MainViewController(QWidget* parent = nullptr);
    // Same, with the fact collection and the series supplied by the caller.
    MainViewController(SystemInfoCollector collect, BenchmarkCoordinator::SeriesFunction series,
                       QWidget* parent = nullptr);

    CircularProgressButton* startButton() const { return startButton_; }
    CardFrame* resultsContainerView() const { return resultsContainerView_; }
    QVBoxLayout* resultsStackView() const { return resultsStackView_; }
    QLabel* scoreValueLabel() const { return scoreValueLabel_; }
    QLabel* timeValueLabel() const { return timeValueLabel_; }
    CardFrame* systemInfoContainerView() const { return systemInfoContainerView_; }
    QVBoxLayout* systemInfoStackView() const { return systemInfoStackView_; }
    const SystemInfo& systemInfo() const { return systemInfo_; }
    BenchmarkCoordinator& coordinator() const { return *coordinator_; }
    HistoryRecorder* historyRecorder() const { return historyRecorder_; }
    // One line under the cards, shown only when a result could not be kept
    // in the history; the result itself is shown as always.
    QLabel* historyNoticeLabel() const { return historyNoticeLabel_; }
    // The result on display, successful or failed, as the history keeps
    // it; none before the first series, while one runs and after a stop.
    const std::optional<ResultRecord>& shownResult() const { return shownResult_; }

    // Starts a series unless one is running.
    void startBenchmark();
    // Asks a running series to stop; it ends soon after and shows "Cancelled".
    void stopBenchmark();
    // Shows the coordinator's last successful result; else "--" as the score
    // and the message of the last series, or "--", where the time goes.
    void updateResultsDisplay();
    // Shows the message where the time goes, wrapped, while no successful
    // result is shown and until the next series starts. A failed series
    // shows its error message this way.
    void showMessage(const QString& message, MessageRole role);
    // Moves the ring to iteration / estimatedIterations, full at or past the end.
    void showProgress(int iteration);

    // Puts the shown result and the machine facts on the clipboard as plain
    // text lines. Nothing without a shown result.
    void copyResult();
    // Asks for a file and writes the shown result's JSON to it.
    void saveResult();
    // Writes the shown result's JSON to path, replacing it as a whole.
    // Returns an empty string, or why it could not.
    QString saveResultTo(const QString& path);

signals:
    // A result came to be shown (true), or the shown one went away (false).
    void shownResultChanged(bool hasResult);
    // A series started (true) or delivered its result (false).
    void runningChanged(bool running);

protected:
    void changeEvent(QEvent* event) override;

private:
    void viewDidLoad(SystemInfoCollector collect, BenchmarkCoordinator::SeriesFunction series);
    void setupUI();
    void setupResultsView();
    void setupSystemInfoView();
    void createSystemInfoRowWithLabel(const QString& label, const QString& value);
    void setupConstraints();
    void finishBenchmark(const BenchmarkResult& result);
    void keepResult(const BenchmarkResult& result);
    void showHistoryProblem(const QString& problem);
    void applyRowColors();
    void updateResultsAccessibleNames();
    void fitContentHeight();

    struct Message {
        QString text;
        MessageRole role;
    };

    CircularProgressButton* startButton_ = nullptr;
    CardFrame* resultsContainerView_ = nullptr;
    QVBoxLayout* resultsStackView_ = nullptr;
    QLabel* scoreValueLabel_ = nullptr;
    QLabel* timeValueLabel_ = nullptr;
    CardFrame* systemInfoContainerView_ = nullptr;
    QVBoxLayout* systemInfoStackView_ = nullptr;
    QLabel* historyNoticeLabel_ = nullptr;
    HistoryRecorder* historyRecorder_ = nullptr;
    std::optional<Message> message_;
    std::optional<ResultRecord> shownResult_;
    std::string startedAt_;
    SystemInfo systemInfo_{};
    std::shared_ptr<BenchmarkCoordinator> coordinator_;
};
