#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "about_window_controller.h"
#include "app_delegate.h"
#include "main_view_controller.h"

namespace {

std::unique_ptr<AppDelegate> launch()
{
    auto delegate = std::make_unique<AppDelegate>([](SystemInfo* info) { info->success = 0; },
                                                  [](BenchmarkProgressFn, void*) {
                                                      return BenchmarkResult{};
                                                  });
    delegate->applicationDidFinishLaunching();
    return delegate;
}

}  // namespace

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void mainWindow();
    void menu();
    void aboutControllerCreatedOnce();
    void closingTheWindowEndsTheProgram();
};

void TestShell::mainWindow()
{
    auto delegate = launch();
    QMainWindow* window = delegate->window();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("Numera"));
    QCOMPARE(window->centralWidget(), delegate->mainViewController());
    QCOMPARE(window->centralWidget()->size(), QSize(400, 505));
    // Fixed: minimum and maximum agree, and there is no maximize button.
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(window->width(), 400);
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    window->resize(800, 800);
    QCoreApplication::processEvents();
    QCOMPARE(window->centralWidget()->size(), QSize(400, 505));
}

void TestShell::menu()
{
    auto delegate = launch();
    const QList<QAction*> menus = delegate->window()->menuBar()->actions();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus[0]->text(), QStringLiteral("Numera"));
    const QList<QAction*> items = menus[0]->menu()->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("About Numera"));
    QVERIFY(items[0]->shortcut().isEmpty());
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("Quit Numera"));
    const auto platformQuit = QKeySequence::keyBindings(QKeySequence::Quit);
    if (!platformQuit.isEmpty())
        QCOMPARE(items[2]->shortcut(), platformQuit.first());
    QCOMPARE(items[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void TestShell::aboutControllerCreatedOnce()
{
    auto delegate = launch();
    QVERIFY(!delegate->aboutWindowController());
    auto closeWhenShown = [] {
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
    };
    closeWhenShown();
    delegate->showAbout();
    AboutWindowController* first = delegate->aboutWindowController();
    QVERIFY(first);
    closeWhenShown();
    delegate->showAbout();
    QCOMPARE(delegate->aboutWindowController(), first);
    QCOMPARE(delegate->window()->findChildren<AboutWindowController*>().size(), 1);
}

void TestShell::closingTheWindowEndsTheProgram()
{
    auto delegate = launch();
    QVERIFY(QTest::qWaitForWindowExposed(delegate->window()));
    QVERIFY(QApplication::quitOnLastWindowClosed());
    QSignalSpy spy(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, delegate->window(), &QWidget::close);
    QTimer failSafe;
    failSafe.setSingleShot(true);
    connect(&failSafe, &QTimer::timeout, [] { QCoreApplication::exit(3); });
    failSafe.start(5000);
    QCOMPARE(QApplication::exec(), 0);  // the event loop ends by itself
    QCOMPARE(spy.count(), 1);
}

int runShellTests(int argc, char** argv)
{
    TestShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_shell.moc"
