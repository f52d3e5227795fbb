// Takes the screenshots of the runner windows that a person looks at: the
// real app, the real engine on every CPU, on a real X display (run it under
// xvfb-run, see screenshots.sh). Not a test: it checks nothing.
//
//   app_screenshots OUTPUT_DIR light|dark
//
// Writes multi-core-running, multi-core-end, stability-running and
// stability-end, each as the whole screen (-screen.png) and as the runner
// window alone (.png), with the theme in the name.
#include <cstdio>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "about_window_controller.h"
#include "app_constants.h"
#include "app_delegate.h"
#include "cpu_grid.h"
#include "palette.h"

namespace {

void shoot(QWidget* window, const QString& dir, const QString& name)
{
    QTest::qWait(400);  // let the last changes paint
    const QString base = QDir(dir).filePath(name);
    QGuiApplication::primaryScreen()->grabWindow(0).save(base + QStringLiteral("-screen.png"));
    window->grab().save(base + QStringLiteral(".png"));
    std::printf("%s.png\n", qPrintable(base));
}

bool anyRowAt(const RunnerWindowController* window, const QString& state)
{
    for (int row = 0; row < window->cpuGrid()->rowCount(); ++row) {
        if (window->cpuGrid()->text(row, CpuGrid::StateColumn) == state)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR light|dark\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString theme = QString::fromLocal8Bit(argv[2]);
    QApplication::setApplicationName(QString::fromUtf8(numera::applicationName));
    if (theme == QLatin1String("dark"))
        QApplication::setPalette(Palette::darkDesktopPalette());
    QDir().mkpath(dir);

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    QTest::qWait(1000);

    delegate.multiCoreAction()->trigger();
    MultiCoreWindowController* multi = delegate.multiCoreWindowController();
    QSignalSpy multiDone(multi, &RunnerWindowController::finished);
    multi->start();
    // Mid-run: the second of five runs on every CPU.
    for (int waited = 0; !anyRowAt(multi, QStringLiteral("Run 2 of 5")); waited += 100) {
        if (waited > 120000)
            return 1;
        QTest::qWait(100);
    }
    QTest::qWait(1500);
    shoot(multi, dir, QStringLiteral("multi-core-running-") + theme);
    if (!multiDone.wait(300000))
        return 1;
    shoot(multi, dir, QStringLiteral("multi-core-end-") + theme);
    multi->close();

    delegate.stabilityAction()->trigger();
    StabilityWindowController* stability = delegate.stabilityWindowController();
    QSignalSpy stabilityDone(stability, &RunnerWindowController::finished);
    stability->durationBox()->setCurrentIndex(0);  // 1 minute
    stability->start();
    QTest::qWait(25000);
    shoot(stability, dir, QStringLiteral("stability-running-") + theme);
    if (!stabilityDone.wait(120000))
        return 1;
    shoot(stability, dir, QStringLiteral("stability-end-") + theme);
    return 0;
}
