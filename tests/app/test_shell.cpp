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
        QCOMPARE(menus.size(), 1);
        QCOMPARE(menus[0]->text(), QStringLiteral("Numera"));
        const QList<QAction*> items = menus[0]->menu()->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QStringLiteral("About Numera"));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->text(), QStringLiteral("Quit Numera"));
        QCOMPARE(items[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
