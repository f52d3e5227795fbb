// The whole content of the main window: the start button, the results card
// and the system information card. Owns the benchmark coordinator.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QWidget>

#include "benchmark_coordinator.h"
#include "sysinfo/system_info.h"

class CardFrame;
class CircularProgressButton;
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

    // Collects the machine facts and runs pi_benchmark_series.
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

    // Starts a series unless one is running.
    void startBenchmark();
    // Shows the coordinator's last successful result; else "--" as the score
    // and the message of the last series, or "--", where the time goes.
    void updateResultsDisplay();
    // Shows the message where the time goes, wrapped, while no successful
    // result is shown and until the next series starts. A failed series
    // shows its error message this way.
    void showMessage(const QString& message, MessageRole role);
    // Moves the ring to iteration / estimatedIterations, full at or past the end.
    void showProgress(int iteration);

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
    void applyRowColors();
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
    std::optional<Message> message_;
    SystemInfo systemInfo_{};
    std::shared_ptr<BenchmarkCoordinator> coordinator_;
};
