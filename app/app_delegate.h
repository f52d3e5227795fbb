// The application shell: the menu bar, the fixed-size main window and the
// About window, created once on first use.
#pragma once

#include <memory>

#include <QObject>
#include <QPointer>

#include "benchmark_coordinator.h"
#include "main_view_controller.h"

class AboutWindowController;
class QMainWindow;
class QMenuBar;

class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Collects the machine facts and runs pi_benchmark_series.
    AppDelegate();
    // Same, with the fact collection and the series supplied by the caller.
    AppDelegate(MainViewController::SystemInfoCollector collect,
                BenchmarkCoordinator::SeriesFunction series);
    ~AppDelegate() override;

    QMainWindow* window() const { return window_.get(); }
    MainViewController* mainViewController() const { return mainViewController_; }
    AboutWindowController* aboutWindowController() const { return aboutWindowController_; }

    // Closing the only window ends the program.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

public slots:
    // Builds the menu bar and the main window and shows it.
    void applicationDidFinishLaunching();
    // Nothing is saved.
    void applicationWillTerminate() {}
    // Shows the About window modally; returns when it is closed.
    void showAbout();

private:
    void setupMenuBar();

    MainViewController::SystemInfoCollector collect_;
    BenchmarkCoordinator::SeriesFunction series_;
    std::unique_ptr<QMainWindow> window_;
    QPointer<QMenuBar> menuBar_;
    QPointer<MainViewController> mainViewController_;
    QPointer<AboutWindowController> aboutWindowController_;
};
