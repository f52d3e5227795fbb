#include "app_delegate.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include "about_window_controller.h"
#include "app_constants.h"

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
    : AppDelegate([](SystemInfo* info) { collect_system_info(info); }, pi_benchmark_series)
{
}

AppDelegate::AppDelegate(MainViewController::SystemInfoCollector collect,
                         BenchmarkCoordinator::SeriesFunction series)
    : collect_(std::move(collect))
    , series_(std::move(series))
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
}

void AppDelegate::showAbout()
{
    if (!aboutWindowController_)
        aboutWindowController_ = new AboutWindowController(window_.get());
    aboutWindowController_->showWindow();
}
