#include "app_delegate.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include "about_window_controller.h"
#include "app_constants.h"
#include "circular_progress_button.h"
#include "history_recorder.h"
#include "history_window_controller.h"
#include "multi_core_window_controller.h"
#include "stability_window_controller.h"

namespace {

void centerOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
}

}  // namespace

AppDelegate::AppDelegate()
    : AppDelegate([](SystemInfo* info) { collect_system_info(info); }, BenchmarkCoordinator::engineSeries)
{
}

AppDelegate::AppDelegate(MainViewController::SystemInfoCollector collect,
                         BenchmarkCoordinator::SeriesFunction series, RunnerSetup runnerSetup)
    : collect_(std::move(collect))
    , series_(std::move(series))
    , runnerSetup_(std::move(runnerSetup))
{
    QApplication::setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed());
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    setupMenuBar();

    window_ = std::make_unique<QMainWindow>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window_->resize(MainViewController::viewWidth, MainViewController::viewHeight);
    window_->setWindowTitle(QString::fromUtf8(numera::applicationName));
    centerOnScreen(window_.get());

    mainViewController_ = new MainViewController(collect_, series_);
    connect(mainViewController_, &MainViewController::shownResultChanged, this, &AppDelegate::updateResultActions);
    // A result just kept appears in an open History window.
    connect(mainViewController_->historyRecorder(), &HistoryRecorder::recorded, this, [this] {
        if (historyWindowController_ && historyWindowController_->isVisible())
            historyWindowController_->reload();
    });
    updateResultActions();
    connect(mainViewController_, &MainViewController::runningChanged, this, &AppDelegate::updateBenchmarkActions);
    updateBenchmarkActions();
    window_->setCentralWidget(mainViewController_);
    window_->setMenuBar(menuBar_);

    // The content keeps the view's size whatever the menu bar adds: 400 x 505,
    // or taller when the view grows to show all its text. The user cannot
    // resize the window.
    window_->layout()->setSizeConstraint(QLayout::SetFixedSize);
    window_->adjustSize();
    centerOnScreen(window_.get());

    window_->show();
    window_->raise();
    window_->activateWindow();
}

void AppDelegate::setupMenuBar()
{
    const QString name = QString::fromUtf8(numera::applicationName);
    menuBar_ = new QMenuBar;
    QMenu* applicationMenu = menuBar_->addMenu(name);

    QAction* about = applicationMenu->addAction(QStringLiteral("About %1").arg(name));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &AppDelegate::showAbout);

    applicationMenu->addSeparator();

    QAction* quit = applicationMenu->addAction(QStringLiteral("Quit %1").arg(name));
    quit->setMenuRole(QAction::QuitRole);
    // Ctrl+Q where the platform names no quit key.
    const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    quit->setShortcuts(quitKeys.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)}
                                          : quitKeys);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    setupResultsMenu();
    setupBenchmarkMenu();
}

void AppDelegate::setupResultsMenu()
{
    QMenu* resultsMenu = menuBar_->addMenu(QStringLiteral("&Results"));

    copyResultAction_ = resultsMenu->addAction(QStringLiteral("Copy Result"));
    copyResultAction_->setShortcuts(QKeySequence::Copy);
    connect(copyResultAction_, &QAction::triggered, this, [this] {
        if (mainViewController_)
            mainViewController_->copyResult();
    });

    saveResultAction_ = resultsMenu->addAction(QStringLiteral("Save Result\u2026"));
    saveResultAction_->setShortcuts(QKeySequence::Save);
    connect(saveResultAction_, &QAction::triggered, this, [this] {
        if (mainViewController_)
            mainViewController_->saveResult();
    });

    resultsMenu->addSeparator();
    showHistoryAction_ = resultsMenu->addAction(QStringLiteral("Show History"));
    // Ctrl+Y (Command-Y on macOS), and Ctrl+H, the history key of the
    // browsers on Linux and Windows (on macOS Command-H hides the app).
    QList<QKeySequence> historyKeys{QKeySequence(Qt::CTRL | Qt::Key_Y)};
#ifndef Q_OS_MACOS
    historyKeys << QKeySequence(Qt::CTRL | Qt::Key_H);
#endif
    showHistoryAction_->setShortcuts(historyKeys);
    connect(showHistoryAction_, &QAction::triggered, this, &AppDelegate::showHistory);
    updateResultActions();
}

void AppDelegate::updateResultActions()
{
    const bool hasResult = mainViewController_ && mainViewController_->shownResult().has_value();
    if (copyResultAction_)
        copyResultAction_->setEnabled(hasResult);
    if (saveResultAction_)
        saveResultAction_->setEnabled(hasResult);
}

void AppDelegate::showHistory()
{
    if (!historyWindowController_) {
        historyWindowController_ = new HistoryWindowController(window_.get());
        // Beside the main window where the screen has room.
        if (window_) {
            const QRect main = window_->frameGeometry();
            const QScreen* screen = window_->screen();
            const QRect wanted(QPoint(main.right() + 21, main.top()), historyWindowController_->size());
            if (screen && screen->availableGeometry().contains(wanted))
                historyWindowController_->move(wanted.topLeft());
        }
    }
    historyWindowController_->showWindow();
}

void AppDelegate::setupBenchmarkMenu()
{
    QMenu* benchmarkMenu = menuBar_->addMenu(QStringLiteral("&Benchmark"));

    // The keyboard's way to START: what a click does, and nothing while a
    // series runs (the item is disabled then).
    startAction_ = benchmarkMenu->addAction(QStringLiteral("Start Benchmark"));
    startAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(startAction_, &QAction::triggered, this, [this] {
        if (mainViewController_ && mainViewController_->startButton()->isEnabled())
            mainViewController_->startBenchmark();
    });

    stopAction_ = benchmarkMenu->addAction(QStringLiteral("Stop"));
    // Esc, and the platform's own cancel keys where it has more.
    QList<QKeySequence> stopKeys{QKeySequence(Qt::Key_Escape)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Cancel)) {
        if (!stopKeys.contains(key))
            stopKeys << key;
    }
    stopAction_->setShortcuts(stopKeys);
    connect(stopAction_, &QAction::triggered, this, [this] {
        if (mainViewController_)
            mainViewController_->stopBenchmark();
    });

    benchmarkMenu->addSeparator();
    multiCoreAction_ = benchmarkMenu->addAction(QStringLiteral("Multi-Core Benchmark"));
    connect(multiCoreAction_, &QAction::triggered, this, &AppDelegate::showMultiCore);
    stabilityAction_ = benchmarkMenu->addAction(QStringLiteral("Stability Test\u2026"));
    connect(stabilityAction_, &QAction::triggered, this, &AppDelegate::showStability);
    updateBenchmarkActions();
}

void AppDelegate::updateBenchmarkActions()
{
    const bool running = mainViewController_ && mainViewController_->coordinator().isRunning();
    startAction_->setEnabled(mainViewController_ && !running);
    // Disabled, Esc reaches the window again when no series runs.
    stopAction_->setEnabled(running);
}

void AppDelegate::showMultiCore()
{
    if (!multiCoreWindowController_) {
        multiCoreWindowController_ = new MultiCoreWindowController(runnerSetup_, window_.get());
        keepResultsOf(multiCoreWindowController_);
    }
    showRunnerWindow(multiCoreWindowController_);
}

void AppDelegate::showStability()
{
    if (!stabilityWindowController_) {
        stabilityWindowController_ = new StabilityWindowController(runnerSetup_, window_.get());
        keepResultsOf(stabilityWindowController_);
    }
    showRunnerWindow(stabilityWindowController_);
}

// A runner window's results go to the history the main window's series go to.
void AppDelegate::keepResultsOf(RunnerWindowController* runnerWindow)
{
    connect(runnerWindow, &RunnerWindowController::finished, this, [this, runnerWindow] {
        const std::optional<ResultRecord> record = runnerWindow->lastResult(mainViewController_->systemInfo());
        if (record && !record->test_fake_runs)
            mainViewController_->historyRecorder()->record(*record);
    });
}

void AppDelegate::showRunnerWindow(RunnerWindowController* runnerWindow)
{
    if (!runnerWindow->isVisible()) {
        // A fresh window for each opening: closing one (which stops its run)
        // deletes it.
        runnerWindow->setAttribute(Qt::WA_DeleteOnClose);
        // Beside the main window where the screen has room, else over it.
        if (window_) {
            const QRect main = window_->frameGeometry();
            const QScreen* screen = window_->screen();
            QPoint at(main.right() + 21, main.top());
            if (screen && !screen->availableGeometry().contains(QRect(at, runnerWindow->size())))
                at = main.topLeft() + QPoint(40, 40);
            runnerWindow->move(at);
        }
        runnerWindow->show();
    }
    runnerWindow->raise();
    runnerWindow->activateWindow();
}

void AppDelegate::applicationWillTerminate()
{
    if (mainViewController_)
        mainViewController_->stopBenchmark();
    // Their runs stop with them.
    delete multiCoreWindowController_;
    delete stabilityWindowController_;
}

void AppDelegate::showAbout()
{
    if (!aboutWindowController_)
        aboutWindowController_ = new AboutWindowController(window_.get());
    aboutWindowController_->showWindow();
}
