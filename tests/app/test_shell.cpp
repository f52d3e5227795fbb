#include <cstring>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "about_window_controller.h"
#include "app_delegate.h"
#include "main_view_controller.h"
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
