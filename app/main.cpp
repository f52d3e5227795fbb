#include <cstdint>
#include <cstdlib>

#include <QApplication>
#include <QMetaObject>
#include <QPalette>

#include "about_window_controller.h"
#include "app_constants.h"
#include "app_delegate.h"
#include "palette.h"
#include "runner_session.h"
#include "sysinfo/linux_system_provider.h"

namespace {

// NUMERA_TEST_REJECT_RUN=K: the series runs the real engine, but the digit
// check of run K (from 1) rejects its result, so a failed series can be
// looked at without a faulty machine or a change to the engine.
bool rejectDigits(const HpNumber*, uint32_t, void*)
{
    return false;
}

BenchmarkCoordinator::SeriesFunction seriesRejectingRun(int run)
{
    return [run](BenchmarkProgressFn callback, void* context) {
        return BenchmarkCoordinator::engineSeriesWith(callback, context, [run](int index) {
            PiRunHooks hooks{};
            if (index + 1 == run)
                hooks.verify = rejectDigits;
            return hooks;
        });
    };
}

// NUMERA_TEST_SYSINFO_ROOT=DIR: the machine facts come from a tree standing
// for "/" (such as the test fixtures), to look at other machines' cards.
MainViewController::SystemInfoCollector collectorFromRoot(const QString& root)
{
    return [root = root.toStdString()](SystemInfo* info) {
        LinuxSystemProvider provider(root);
        collect_system_info(info, provider);
    };
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(numera::applicationName));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(numera::applicationId));
#ifdef NUMERA_VERSION
    QApplication::setApplicationVersion(QStringLiteral(NUMERA_VERSION));
#endif
#ifdef NUMERA_BUILD_NUMBER
    app.setProperty("buildVersion", QStringLiteral(NUMERA_BUILD_NUMBER));
#endif
    QApplication::setWindowIcon(AboutWindowController::appIcon());
    if (qEnvironmentVariableIsSet("NUMERA_TEST_DARK_PALETTE"))
        QApplication::setPalette(Palette::darkDesktopPalette());

    MainViewController::SystemInfoCollector collect = [](SystemInfo* info) { collect_system_info(info); };
    BenchmarkCoordinator::SeriesFunction series = BenchmarkCoordinator::engineSeries;
    if (qEnvironmentVariableIsSet("NUMERA_TEST_SYSINFO_ROOT"))
        collect = collectorFromRoot(qEnvironmentVariable("NUMERA_TEST_SYSINFO_ROOT"));
    if (const int run = qEnvironmentVariableIntValue("NUMERA_TEST_REJECT_RUN"); run > 0)
        series = seriesRejectingRun(run);

    AppDelegate delegate(collect, series);
    QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    // NUMERA_TEST_SHOW_HISTORY=1: the History window opens at once, to be
    // looked at without a key press.
    if (qEnvironmentVariableIsSet("NUMERA_TEST_SHOW_HISTORY"))
        QMetaObject::invokeMethod(&delegate, &AppDelegate::showHistory, Qt::QueuedConnection);
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();

    // Work asked to stop may still be in its last engine step; end the
    // process with it rather than tear down the application under it.
    const MainViewController* view = delegate.mainViewController();
    if ((view && view->coordinator().isRunning()) || RunnerSession::activeThreads() > 0)
        std::quick_exit(status);
    return status;
}
