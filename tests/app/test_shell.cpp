// The main window's shell: its menus and keys, the windows they open, and
// its size following the view.
#include <QMenuBar>
#include <QSignalSpy>

#include "circular_progress_button.h"
#include "history_seed.h"
#include "history_window_controller.h"
#include "palette.h"
#include "runner_session.h"
#include "test_support.h"

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void windowAndMenu()
    {
        AppDelegate delegate(noMachine, [](BenchmarkProgressFn, void*) { return BenchmarkResult{}; });
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

        // The Results menu has tests of its own.
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text() + menus[1]->text() + menus[2]->text(), QStringLiteral("Numera&Results&Benchmark"));
        QCOMPARE(menuItems(menus[0]), QStringList({"About Numera", "-", "Quit Numera Ctrl+Q"}));
        QCOMPARE(menuItems(menus[2]), QStringList({"Start Benchmark Ctrl+R", "Stop Esc", "-", "Multi-Core Benchmark",
                                                   "Stability Test\u2026"}));
        QCOMPARE(delegate.startAction()->shortcuts().size(), 1);
        QVERIFY(delegate.startAction()->isEnabled() && !delegate.stopAction()->isEnabled());
    }

    // Start Benchmark and Stop, from their keys or their menu items: Start
    // starts the series as a click on START does, and neither it nor its key
    // starts a second one while it runs; Stop ends it with "Cancelled" in the
    // secondary colour where the time goes; then a new start runs to its end.
    // With no series running Esc does nothing.
    void startAndStopItems_data()
    {
        QTest::addColumn<bool>("withKeys");
        QTest::newRow("Ctrl+R and Esc") << true;
        QTest::newRow("menu items") << false;
    }
    void startAndStopItems()
    {
        QFETCH(bool, withKeys);
        FakeSeries series;
        series.held = true;
        series.ends(true);
        AppDelegate delegate(noMachine, series.function());
        QVERIFY(launch(delegate));
        QMainWindow* window = delegate.window();
        MainViewController* view = delegate.mainViewController();
        QSignalSpy running(view, &MainViewController::runningChanged);
        QAction* start = delegate.startAction();
        QAction* stop = delegate.stopAction();
        const auto startFromKeyboard = [&] {
            if (withKeys)
                QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
            else
                start->trigger();
        };

        QTest::keyClick(window, Qt::Key_Escape);
        startFromKeyboard();
        QCOMPARE(running.count(), 1);
        QVERIFY(!view->startButton()->isEnabled() && view->coordinator().isRunning());
        QVERIFY(!start->isEnabled() && stop->isEnabled());
        QTRY_COMPARE(view->startButton()->progress(), 1.0);
        startFromKeyboard();
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        QTest::qWait(20);
        QCOMPARE(series.calls.load(), 1);
        QCOMPARE(running.count(), 1);

        if (withKeys)
            QTest::keyClick(window, Qt::Key_Escape);
        else
            stop->trigger();
        QTRY_VERIFY(view->startButton()->isEnabled());
        QVERIFY(series.sawStop);
        QCOMPARE(running.count(), 2);
        QCOMPARE(running.at(1).at(0).toBool(), false);
        QVERIFY(start->isEnabled() && !stop->isEnabled() && !view->coordinator().isRunning());
        QCOMPARE(view->scoreValueLabel()->text(), QStringLiteral("--"));
        QCOMPARE(view->timeValueLabel()->text(), QStringLiteral("Cancelled"));
        VERIFY_COLOR(textColor(view->timeValueLabel()), Palette::secondaryLabelColor());
        QCOMPARE(view->startButton()->progress(), 0.0);

        series.release.set_value();
        startFromKeyboard();
        QTRY_COMPARE(running.count(), 4);
        QCOMPARE(series.calls.load(), 2);
        QCOMPARE(view->scoreValueLabel()->text(), QStringLiteral("9876"));
        QVERIFY(start->isEnabled());
    }

    // The menu opens each runner window once, beside the main window; a
    // window closed while its run goes on is gone, and so is its run, whose
    // last events then go nowhere.
    void runnerWindowsFromTheMenu()
    {
        FakeRuns fake;
        fake.run_ms = 200;
        AppDelegate delegate(noMachine, nullptr, setupFor(fake, {{0, SysinfoCpuKind::unknown}, {1, SysinfoCpuKind::unknown}}));
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
        QTest::qWait(50);  // the runner's last events and report arrive, and find nobody

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
        QTest::newRow("history") << "history" << "closeButton" << int(Qt::Key_Return);
    }
    void windowsFromTheKeyboard()
    {
        QFETCH(QString, which);
        QFETCH(QString, focus);
        QFETCH(int, closeKey);
        TemporaryHistory history;
        FakeRuns fake;
        AppDelegate delegate(noMachine, nullptr, setupFor(fake, {{0, SysinfoCpuKind::unknown}}));
        QVERIFY(launch(delegate));
        QMainWindow* main = delegate.window();

        QWidget* opened = nullptr;
        if (which == QLatin1String("history")) {
            QTest::keySequence(main, QKeySequence(Qt::CTRL | Qt::Key_Y));
            opened = delegate.historyWindowController();
        } else {
            delegate.multiCoreAction()->trigger();  // the stability window opens the same way
            opened = delegate.multiCoreWindowController();
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
        AppDelegate delegate(longNames, nullptr);
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
