#include <cstring>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <QLabel>
#include <QSignalSpy>

#include "about_window_controller.h"
#include "app_delegate.h"
#include "circular_progress_button.h"
#include "fake_runs.h"
#include "history_seed.h"
#include "history_window_controller.h"
#include "main_view_controller.h"
#include "palette.h"
#include "runner_session.h"
#include "test_support.h"

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void windowAndMenu()
    {
        AppDelegate delegate([](SystemInfo* info) { info->success = 0; },
                             [](BenchmarkProgressFn, void*) { return BenchmarkResult{}; });
        delegate.applicationDidFinishLaunching();
        QMainWindow* window = delegate.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Numera"));
        QCOMPARE(window->centralWidget(), delegate.mainViewController());
        // Content 400 x 505 and a window that cannot be resized or maximized.
        QCOMPARE(window->centralWidget()->size(), QSize(400, 505));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY((flags & Qt::WindowMinimizeButtonHint) && (flags & Qt::WindowCloseButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        window->resize(800, 800);
        QCoreApplication::processEvents();
        QCOMPARE(window->centralWidget()->size(), QSize(400, 505));

        const QList<QAction*> menus = window->menuBar()->actions();
        // The application menu comes first; the others have tests of their own.
        QVERIFY(!menus.isEmpty());
        QCOMPARE(menus[0]->text(), QStringLiteral("Numera"));
        const QList<QAction*> items = menus[0]->menu()->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QStringLiteral("About Numera"));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->text(), QStringLiteral("Quit Numera"));
        QCOMPARE(items[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

        QStringList titles;
        for (const QAction* menu : menus)
            titles << menu->text();
        QCOMPARE(titles, QStringList({"Numera", "&Results", "&Benchmark"}));
        QStringList benchmark;
        for (const QAction* item : menus[2]->menu()->actions())
            benchmark << (item->isSeparator() ? QStringLiteral("-") : item->text());
        QCOMPARE(benchmark,
                 QStringList({"Start Benchmark", "Stop", "-", "Multi-Core Benchmark", "Stability Test\u2026"}));
        QCOMPARE(delegate.startAction()->shortcuts(), QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+R"))});
        QCOMPARE(delegate.stopAction()->shortcut(), QKeySequence(Qt::Key_Escape));
        QVERIFY(delegate.startAction()->isEnabled() && !delegate.stopAction()->isEnabled());
    }

    // Start Benchmark, from Ctrl+R or its menu item, starts the series as a
    // click on START does; while the series runs the item is disabled and
    // neither starts a second one; afterwards it starts again.
    void startItem_data()
    {
        QTest::addColumn<bool>("withKey");
        QTest::newRow("Ctrl+R") << true;
        QTest::newRow("menu item") << false;
    }
    void startItem()
    {
        QFETCH(bool, withKey);
        FakeSeries series;
        series.held = true;
        series.result.success = 1;
        series.result.score = 2513;
        series.result.elapsed_time = 5.0;
        AppDelegate delegate([](SystemInfo* info) { info->success = 0; }, series.function());
        delegate.applicationDidFinishLaunching();
        QMainWindow* window = delegate.window();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        MainViewController* view = delegate.mainViewController();
        QSignalSpy running(view, &MainViewController::runningChanged);
        QAction* start = delegate.startAction();
        const auto startFromKeyboard = [&] {
            if (withKey)
                QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
            else
                start->trigger();
        };

        startFromKeyboard();
        QCOMPARE(running.count(), 1);
        QVERIFY(!view->startButton()->isEnabled() && view->coordinator().isRunning());
        QVERIFY(!start->isEnabled() && delegate.stopAction()->isEnabled());
        QTRY_COMPARE(view->startButton()->progress(), 1.0);

        startFromKeyboard();
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        QTest::qWait(20);
        QCOMPARE(series.calls.load(), 1);
        QCOMPARE(running.count(), 1);

        series.release.set_value();
        QTRY_VERIFY(view->startButton()->isEnabled());
        QVERIFY(start->isEnabled() && !delegate.stopAction()->isEnabled());
        QCOMPARE(view->scoreValueLabel()->text(), QStringLiteral("2513"));

        startFromKeyboard();
        QTRY_COMPARE(series.calls.load(), 2);
        QTRY_COMPARE(running.count(), 4);
        QVERIFY(start->isEnabled());
    }

    // Stop, from its key or its menu item, ends a running series: "Cancelled"
    // in the secondary colour where the time goes, the button enabled again.
    // With no series running Esc does nothing.
    void stopItem_data()
    {
        QTest::addColumn<bool>("withKey");
        QTest::newRow("Esc") << true;
        QTest::newRow("menu item") << false;
    }
    void stopItem()
    {
        QFETCH(bool, withKey);
        FakeSeries series;
        series.held = true;
        series.result.success = 1;
        AppDelegate delegate([](SystemInfo* info) { info->success = 0; }, series.function());
        delegate.applicationDidFinishLaunching();
        QMainWindow* window = delegate.window();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        MainViewController* view = delegate.mainViewController();
        QSignalSpy running(view, &MainViewController::runningChanged);

        QTest::keyClick(window, Qt::Key_Escape);
        QTest::mouseClick(view->startButton(), Qt::LeftButton, {}, QPoint(80, 80));
        QCOMPARE(running.count(), 1);
        QVERIFY(delegate.stopAction()->isEnabled() && !view->startButton()->isEnabled());
        QTRY_COMPARE(view->startButton()->progress(), 1.0);

        if (withKey)
            QTest::keyClick(window, Qt::Key_Escape);
        else
            delegate.stopAction()->trigger();
        QTRY_VERIFY(view->startButton()->isEnabled());
        QVERIFY(series.sawStop);
        QCOMPARE(running.count(), 2);
        QCOMPARE(running.at(1).at(0).toBool(), false);
        QVERIFY(!delegate.stopAction()->isEnabled() && !view->coordinator().isRunning());
        QCOMPARE(view->scoreValueLabel()->text(), QStringLiteral("--"));
        QCOMPARE(view->timeValueLabel()->text(), QStringLiteral("Cancelled"));
        VERIFY_COLOR(view->timeValueLabel()->palette().color(QPalette::WindowText), Palette::secondaryLabelColor());
        QCOMPARE(view->startButton()->progress(), 0.0);
        QCOMPARE(series.calls.load(), 1);
    }

    // The menu opens each runner window once, beside the main window; a
    // window closed while its run goes on is gone, and so is its run.
    void runnerWindowsFromTheMenu()
    {
        FakeRuns fake;
        fake.runMilliseconds = 200;
        AppDelegate delegate([](SystemInfo* info) { info->success = 0; }, nullptr,
                             setupFor(fake, {{0, SysinfoCpuKind::unknown}, {1, SysinfoCpuKind::unknown}}));
        delegate.applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(delegate.window()));
        QVERIFY(!delegate.multiCoreWindowController() && !delegate.stabilityWindowController());

        delegate.multiCoreAction()->trigger();
        QPointer<MultiCoreWindowController> multi = delegate.multiCoreWindowController();
        QVERIFY(multi && QTest::qWaitForWindowExposed(multi));
        QCOMPARE(multi->windowTitle(), QStringLiteral("Multi-Core Benchmark"));
        delegate.multiCoreAction()->trigger();
        QCOMPARE(delegate.multiCoreWindowController(), multi.data());
        QVERIFY(multi->isWindow() && multi->parentWidget() == delegate.window());

        delegate.stabilityAction()->trigger();
        QPointer<StabilityWindowController> stability = delegate.stabilityWindowController();
        QVERIFY(stability && QTest::qWaitForWindowExposed(stability));
        stability->start();
        QTRY_COMPARE(fake.started.load(), 2);
        QVERIFY(stability->close());
        QTRY_VERIFY(!stability);
        QTRY_COMPARE(RunnerSession::activeThreads(), 0);
        QCOMPARE(fake.cancelled.load(), 2);

        delegate.stabilityAction()->trigger();
        QVERIFY(delegate.stabilityWindowController());
        QCOMPARE(delegate.stabilityWindowController()->phase(), RunnerWindowController::Phase::Idle);
        multi->close();
        QTRY_VERIFY(!multi);
    }

    // Each window the menus open is ready for the keyboard: active, the
    // focus on the control to use first, and Esc (or Return on a focused
    // Close) closes it. The history is empty here, so Close has the focus.
    void windowsFromTheKeyboard_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("closeKey");
        QTest::newRow("multi-core") << "multi-core" << "startButton" << int(Qt::Key_Escape);
        QTest::newRow("stability") << "stability" << "startButton" << int(Qt::Key_Escape);
        QTest::newRow("history, Esc") << "history" << "closeButton" << int(Qt::Key_Escape);
        QTest::newRow("history, Return") << "history" << "closeButton" << int(Qt::Key_Return);
    }
    void windowsFromTheKeyboard()
    {
        QFETCH(QString, which);
        QFETCH(QString, focus);
        QFETCH(int, closeKey);
        TemporaryHistory history;
        FakeRuns fake;
        AppDelegate delegate([](SystemInfo* info) { info->success = 0; }, nullptr,
                             setupFor(fake, {{0, SysinfoCpuKind::unknown}}));
        delegate.applicationDidFinishLaunching();
        QMainWindow* main = delegate.window();
        QApplication::setActiveWindow(main);
        QVERIFY(QTest::qWaitForWindowActive(main));

        QWidget* opened = nullptr;
        if (which == QLatin1String("history")) {
            QTest::keySequence(main, QKeySequence(Qt::CTRL | Qt::Key_Y));
            opened = delegate.historyWindowController();
        } else if (which == QLatin1String("multi-core")) {
            delegate.multiCoreAction()->trigger();
            opened = delegate.multiCoreWindowController();
        } else {
            delegate.stabilityAction()->trigger();
            opened = delegate.stabilityWindowController();
        }
        QVERIFY(opened);
        QTRY_COMPARE(QApplication::activeWindow(), opened);
        QTRY_VERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(QApplication::focusWidget()->window(), opened);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(closeKey));
        QTRY_VERIFY(!opened->isVisible());
        QCOMPARE(fake.started.load(), 0);
    }

    // A view taller than 505, from long names and then a long message, is
    // shown whole: the window follows its height and keeps its width.
    void windowFollowsTheView()
    {
        AppDelegate delegate(
            [](SystemInfo* info) {
                std::strcpy(info->cpu_model, "13th Gen Intel(R) Core(TM) i9-13900K");
                info->cpu_frequency_mhz = 3000;
                std::strcpy(info->os_name, "Fedora Linux");
                std::strcpy(info->os_version, "39 (Workstation Edition)");
                info->success = 1;
            },
            nullptr);
        delegate.applicationDidFinishLaunching();
        QMainWindow* window = delegate.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        MainViewController* view = delegate.mainViewController();
        QVERIFY(view->height() > 505);
        QTRY_VERIFY(window->rect().contains(view->geometry()));
        const int before = window->height();
        view->showMessage(QStringLiteral("Computed digits do not match pi ").repeated(6),
                          MainViewController::MessageRole::Error);
        QTRY_VERIFY(window->height() > before);
        QTRY_VERIFY(window->rect().contains(view->geometry()));
        QVERIFY(window->width() == 400 && view->width() == 400);
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
