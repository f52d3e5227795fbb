// The application shell: the menu bar, the fixed-size main window and the
// About window, created once on first use.
#pragma once

#include <memory>

#include <QObject>
#include <QPointer>

#include "benchmark_coordinator.h"
#include "history_window_controller.h"
#include "main_view_controller.h"
#include "multi_core_window_controller.h"
#include "stability_window_controller.h"

class AboutWindowController;
class QAction;
class QMainWindow;
class QMenuBar;

class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Collects the machine facts and runs the engine's series.
    AppDelegate();
    // Same, with the fact collection, the series and the runner's CPUs and
    // run function supplied by the caller.
    AppDelegate(MainViewController::SystemInfoCollector collect,
                BenchmarkCoordinator::SeriesFunction series, RunnerSetup runnerSetup = {});
    ~AppDelegate() override;

    QMainWindow* window() const { return window_.get(); }
    MainViewController* mainViewController() const { return mainViewController_; }
    AboutWindowController* aboutWindowController() const { return aboutWindowController_; }
    HistoryWindowController* historyWindowController() const { return historyWindowController_; }
    // Items of the "Results" menu.
    QAction* copyResultAction() const { return copyResultAction_; }
    QAction* saveResultAction() const { return saveResultAction_; }
    QAction* showHistoryAction() const { return showHistoryAction_; }
    // The runner windows while they are open (each is deleted when closed).
    MultiCoreWindowController* multiCoreWindowController() const { return multiCoreWindowController_; }
    StabilityWindowController* stabilityWindowController() const { return stabilityWindowController_; }
    // Items of the "Benchmark" menu.
    QAction* startAction() const { return startAction_; }
    QAction* stopAction() const { return stopAction_; }
    QAction* multiCoreAction() const { return multiCoreAction_; }
    QAction* stabilityAction() const { return stabilityAction_; }

    // Closing the only window ends the program.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

public slots:
    // Builds the menu bar and the main window and shows it.
    void applicationDidFinishLaunching();
    // Nothing is saved; a running series or runner is asked to stop.
    void applicationWillTerminate();
    // Shows the About window modally; returns when it is closed.
    void showAbout();
    // Opens the History window, created once, or brings it to the front;
    // it reads the history each time.
    void showHistory();
    // Open the runner windows, or bring an open one to the front.
    void showMultiCore();
    void showStability();

private:
    void setupMenuBar();
    void setupResultsMenu();
    void updateResultActions();
    void setupBenchmarkMenu();
    void updateBenchmarkActions();
    void showRunnerWindow(RunnerWindowController* window);
    void keepResultsOf(RunnerWindowController* window);

    MainViewController::SystemInfoCollector collect_;
    BenchmarkCoordinator::SeriesFunction series_;
    RunnerSetup runnerSetup_;
    std::unique_ptr<QMainWindow> window_;
    QPointer<QMenuBar> menuBar_;
    QPointer<MainViewController> mainViewController_;
    QPointer<AboutWindowController> aboutWindowController_;
    QPointer<HistoryWindowController> historyWindowController_;
    QPointer<QAction> copyResultAction_;
    QPointer<QAction> saveResultAction_;
    QPointer<QAction> showHistoryAction_;
    QPointer<MultiCoreWindowController> multiCoreWindowController_;
    QPointer<StabilityWindowController> stabilityWindowController_;
    QPointer<QAction> startAction_;
    QPointer<QAction> stopAction_;
    QPointer<QAction> multiCoreAction_;
    QPointer<QAction> stabilityAction_;
};
