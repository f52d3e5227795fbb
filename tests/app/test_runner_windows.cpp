// The multi-core and stability windows with fake runs in place of the
// engine: grid rows, states, scores and verdicts, Stop, Esc, the keyboard
// and the dark palette (closing a running window: test_shell.cpp).
#include <cmath>
#include <memory>

#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

#include "cpu_grid.h"
#include "multi_core_window_controller.h"
#include "palette.h"
#include "runner_session.h"
#include "stability_window_controller.h"
#include "test_support.h"

namespace {

using Phase = RunnerWindowController::Phase;
constexpr int performanceKind = int(SysinfoCpuKind::performance);
constexpr int efficiencyKind = int(SysinfoCpuKind::efficiency);

std::vector<SysinfoCpu> cpuList(std::initializer_list<SysinfoCpuKind> kinds)
{
    std::vector<SysinfoCpu> cpus;
    int number = 0;
    for (SysinfoCpuKind kind : kinds)
        cpus.push_back({number++, kind});
    return cpus;
}

QStringList column(const RunnerWindowController& window, int which)
{
    QStringList texts;
    for (int row = 0; row < window.cpuGrid()->rowCount(); ++row)
        texts << window.cpuGrid()->text(row, which);
    return texts;
}

// The multi-core score of W CPUs, r runs each, of 8,388,608 digits in T
// seconds, from its definition: ceil(W r D (log2 D)^2 / T / 1765633.002816317).
double multiCoreScore(int workers, int runs, double seconds)
{
    const double d = 8388608.0;
    return std::ceil(workers * runs * d * 23.0 * 23.0 / seconds / 1765633.002816317);
}

}  // namespace

class TestRunnerWindows : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        QApplication::setPalette(QPalette());
        // Nothing may outlive a test: every runner thread has ended.
        QTRY_COMPARE(RunnerSession::activeThreads(), 0);
    }

    // One row per CPU with its kind, then the score or the failure with its
    // CPU and run; CPUs left out for lack of memory say so.
    void multiCoreEndings_data()
    {
        QTest::addColumn<QList<int>>("kinds");
        QTest::addColumn<int>("failCpu");
        QTest::addColumn<qint64>("availableBytes");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<QString>("detail");
        const int p = performanceKind, e = efficiencyKind, u = int(SysinfoCpuKind::unknown);
        QTest::newRow("hybrid, all pass") << QList<int>{p, p, e, e} << -1 << qint64(-2)
                                          << QStringList{"Done", "Done", "Done", "Done"} << "4 CPUs \u00d7 5 runs in";
        QTest::newRow("wrong digits on CPU 1")
            << QList<int>{u, u, u} << 1 << qint64(-2) << QStringList{"Done", "Error", "Done"}
            << "Computed digits do not match pi (CPU 1, run 2 of 5)";
        // Room for two runs after the margin (256 MiB and a tenth).
        QTest::newRow("memory for two of three")
            << QList<int>{u, u, u} << -1 << qint64(500) * 1024 * 1024 << QStringList{"Done", "Done", "Not used"}
            << "2 CPUs \u00d7 5 runs in";
    }
    void multiCoreEndings()
    {
        QFETCH(QList<int>, kinds);
        QFETCH(int, failCpu);
        QFETCH(qint64, availableBytes);
        QFETCH(QStringList, states);
        QFETCH(QString, detail);
        std::vector<SysinfoCpu> cpus;
        for (int kind : kinds)
            cpus.push_back({static_cast<int32_t>(cpus.size()), SysinfoCpuKind(kind)});
        FakeRuns fake;
        if (failCpu >= 0)
            fake.wrong_digits = {{failCpu, 2}};
        MultiCoreWindowController window(setupFor(fake, cpus, availableBytes));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.cpuGrid()->rowCount(), kinds.size());
        QStringList numbers, kindTexts;
        for (int i = 0; i < kinds.size(); ++i) {
            numbers << QString::number(i);
            kindTexts << (kinds[i] == performanceKind ? "Performance" : kinds[i] == efficiencyKind ? "Efficiency" : "\u2014");
        }
        QCOMPARE(column(window, CpuGrid::CpuColumn), numbers);
        QCOMPARE(column(window, CpuGrid::KindColumn), kindTexts);
        QCOMPARE(column(window, CpuGrid::StateColumn), QStringList(kinds.size(), "Idle"));
        QCOMPARE(window.headlineLabel()->text(), QStringLiteral("--"));
        QCOMPARE(window.detailLabel()->text(), QStringLiteral("5 runs on each of %1 CPUs").arg(kinds.size()));

        QSignalSpy finished(&window, &RunnerWindowController::finished);
        QTest::mouseClick(window.startButton(), Qt::LeftButton);
        QCOMPARE(window.phase(), Phase::Running);
        QVERIFY(!window.startButton()->isEnabled() && window.stopButton()->isEnabled());
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(window.phase(), Phase::Finished);
        QVERIFY(window.startButton()->isEnabled() && !window.stopButton()->isEnabled());

        QCOMPARE(column(window, CpuGrid::StateColumn), states);
        const RunnerReport& report = window.lastReport();
        for (int row = 0; row < states.size(); ++row) {
            const bool used = states[row] != "Not used";
            const bool failed = states[row] == "Error";
            // A multi-core run goes on after an error, so the faulty CPU
            // still passes its other runs.
            QCOMPARE(window.cpuGrid()->text(row, CpuGrid::PassedColumn),
                     QString::number(!used ? 0 : failed ? 4 : 5));
            QCOMPARE(window.cpuGrid()->text(row, CpuGrid::ErrorsColumn), QString::number(failed ? 1 : 0));
            const QColor errorColumn = textColor(window.cpuGrid()->cell(row, CpuGrid::ErrorsColumn));
            VERIFY_COLOR(errorColumn, failed ? PaletteTable::textError : Palette::labelColor());
        }
        QVERIFY2(window.detailLabel()->text().startsWith(detail), qPrintable(window.detailLabel()->text()));
        if (failCpu >= 0) {
            QCOMPARE(window.headlineLabel()->text(), QStringLiteral("--"));
            VERIFY_COLOR(textColor(window.detailLabel()), PaletteTable::textError);
        } else {
            const int used = static_cast<int>(states.count("Done"));
            const double score = multiCoreScore(used, 5, report.wall_seconds);
            QCOMPARE(window.headlineLabel()->text(), QString::number(score, 'f', 0));
            // Scaling: the score over W times the best CPU's mean run score.
            const QString scaling = QString::number(score / (used * 2513.0), 'f', 2);
            QVERIFY2(window.detailLabel()->text().contains(QStringLiteral(" s\nscaling ") + scaling),
                     qPrintable(window.detailLabel()->text()));
            VERIFY_COLOR(textColor(window.headlineLabel()), PaletteTable::textScoreLight);
            VERIFY_COLOR(textColor(window.detailLabel()), Palette::labelColor());
        }
        if (availableBytes > 0)
            QVERIFY(window.detailLabel()->text().endsWith(QStringLiteral("\nMemory for 2 of 3 CPUs only")));

        // The result kept for the history says what the window shows.
        const std::optional<ResultRecord> kept = window.lastResult(SystemInfo{});
        QVERIFY(kept && kept->mode == ResultMode::multi && kept->test_fake_runs);
        QCOMPARE(kept->success, failCpu < 0);
        QCOMPARE(QString::number(kept->score, 'f', 0), failCpu < 0 ? window.headlineLabel()->text() : "0");
        QCOMPARE(int(kept->workers.size()), int(states.size() - states.count("Not used")));
        if (failCpu >= 0)
            QVERIFY2(window.detailLabel()->text().startsWith(QString::fromStdString(kept->error_message)),
                     kept->error_message.c_str());
    }

    // Stop ends the workers at their next check: "Cancelled" in the
    // secondary colour, rows "Stopped", and the window can start again.
    // (Esc, which stops too, is keyboardOnly's.)
    void stopMidRun()
    {
        FakeRuns fake;
        fake.run_ms = 60000;
        MultiCoreWindowController window(setupFor(fake, cpuList({SysinfoCpuKind::unknown, SysinfoCpuKind::unknown})));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy phases(&window, &RunnerWindowController::phaseChanged);
        window.start();
        QTRY_COMPARE(column(window, CpuGrid::StateColumn), QStringList({"Run 1 of 5", "Run 1 of 5"}));
        QVERIFY(window.detailLabel()->text().startsWith(QStringLiteral("Running ")));

        QTest::mouseClick(window.stopButton(), Qt::LeftButton);
        QVERIFY(window.isVisible());
        QTRY_COMPARE(window.phase(), Phase::Finished);
        QCOMPARE(phases.count(), 3);
        QCOMPARE(phases.at(1).at(0).value<Phase>(), Phase::Stopping);
        QCOMPARE(fake.cancelled.load(), 2);
        QCOMPARE(window.detailLabel()->text(), QStringLiteral("Cancelled"));
        VERIFY_COLOR(textColor(window.detailLabel()), Palette::secondaryLabelColor());
        QCOMPARE(column(window, CpuGrid::StateColumn), QStringList({"Stopped", "Stopped"}));
        QVERIFY(window.startButton()->isEnabled());
        QVERIFY2(!window.lastResult(SystemInfo{}), "a stopped multi-core run is no result");
    }

    // The durations on offer and the one a run is given; the verdict when
    // stopped before it and when an error ends the test.
    void stabilityVerdicts_data()
    {
        QTest::addColumn<int>("durationIndex");
        QTest::addColumn<int>("failCpu");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("until stopped") << 4 << -1 << "^No errors: 3 CPUs, 0:00, (\\d+) runs$";
        QTest::newRow("stopped before 1 minute")
            << 0 << -1 << "^No errors: 3 CPUs, 0:00, (\\d+) runs \\(stopped before 1:00\\)$";
        QTest::newRow("error on CPU 2") << 3 << 2 << "^Error on CPU 2 after 0:00: Computed digits do not match pi$";
    }
    void stabilityVerdicts()
    {
        QFETCH(int, durationIndex);
        QFETCH(int, failCpu);
        QFETCH(QString, verdict);
        FakeRuns fake;
        if (failCpu >= 0)
            fake.wrong_digits = {{failCpu, 4}};
        const auto u = SysinfoCpuKind::unknown;
        StabilityWindowController window(setupFor(fake, cpuList({u, u, u})));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QComboBox* box = window.durationBox();
        QStringList choices;
        for (int i = 0; i < box->count(); ++i)
            choices << box->itemText(i);
        QCOMPARE(choices, QStringList({"1 minute", "10 minutes", "30 minutes", "60 minutes", "Until stopped"}));
        QCOMPARE(box->currentText(), QStringLiteral("10 minutes"));
        QCOMPARE(window.detailLabel()->text(), QStringLiteral("3 CPUs for 10 minutes; the first error ends the test"));
        box->setCurrentIndex(durationIndex);
        const double seconds = QList<double>{60, 600, 1800, 3600, 0}[durationIndex];

        QSignalSpy finished(&window, &RunnerWindowController::finished);
        QTest::keyClick(&window, Qt::Key_Return);  // Start is the default button
        QCOMPARE(window.phase(), Phase::Running);
        QVERIFY(!box->isEnabled());
        if (failCpu < 0) {
            QTRY_VERIFY(window.cpuGrid()->text(2, CpuGrid::PassedColumn).toInt() >= 2);
            QVERIFY(window.cpuGrid()->text(0, CpuGrid::StateColumn).startsWith(QStringLiteral("Run ")));
            window.stop();
        }
        QVERIFY(finished.wait(5000));
        QVERIFY(box->isEnabled());
        const QString shown = window.detailLabel()->text();
        const QRegularExpressionMatch match = QRegularExpression(verdict).match(shown);
        QVERIFY2(match.hasMatch(), qPrintable(shown));
        QCOMPARE(window.lastReport().duration_seconds, seconds);
        VERIFY_COLOR(textColor(window.detailLabel()), failCpu < 0 ? Palette::labelColor() : PaletteTable::textError);
        const QStringList states = column(window, CpuGrid::StateColumn);
        for (int row = 0; row < 3; ++row) {
            const QString want = row == failCpu ? "Error" : "Stopped";
            QCOMPARE(states[row], want);
            QCOMPARE(window.cpuGrid()->text(row, CpuGrid::ErrorsColumn), row == failCpu ? "1" : "0");
        }
        if (failCpu >= 0)
            QCOMPARE(window.cpuGrid()->text(failCpu, CpuGrid::PassedColumn), QStringLiteral("3"));
        // The grid's counts add up to the verdict's.
        int passed = 0;
        for (int row = 0; row < 3; ++row)
            passed += window.cpuGrid()->text(row, CpuGrid::PassedColumn).toInt();
        if (failCpu < 0)
            QCOMPARE(match.captured(1).toInt(), passed);
        // Stopped or failed, a stability test is kept, with the verdict shown.
        const std::optional<ResultRecord> kept = window.lastResult(SystemInfo{});
        QVERIFY(kept && kept->mode == ResultMode::stress);
        QCOMPARE(kept->success, failCpu < 0);
        QCOMPARE(QString::fromStdString(result_verdict(*kept)), shown.section('\n', 0, 0));
    }

    // From the keyboard alone, in both windows: Start has the focus and is
    // the default button; Tab goes round the enabled controls only; Return
    // starts; Stop takes the focus during the run and hands it back; Esc
    // stops, then closes. The stability run gets the duration chosen with
    // the arrow keys.
    void keyboardOnly_data()
    {
        QTest::addColumn<bool>("stability");
        QTest::addColumn<QStringList>("idleTabs");
        QTest::newRow("multi-core") << false << QStringList{"startButton"};
        QTest::newRow("stability") << true << QStringList{"durationBox", "startButton"};
    }
    void keyboardOnly()
    {
        QFETCH(bool, stability);
        QFETCH(QStringList, idleTabs);
        FakeRuns fake;
        fake.run_ms = 60000;
        const RunnerSetup setup = setupFor(fake, cpuList({SysinfoCpuKind::unknown}));
        std::unique_ptr<RunnerWindowController> window;
        if (stability)
            window = std::make_unique<StabilityWindowController>(setup);
        else
            window = std::make_unique<MultiCoreWindowController>(setup);
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), window->startButton());
        QVERIFY(window->startButton()->isDefault());
        for (const QString& next : idleTabs) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
            if (next == QLatin1String("durationBox")) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
                QCOMPARE(qobject_cast<QComboBox*>(QApplication::focusWidget())->currentText(),
                         QStringLiteral("30 minutes"));
            }
        }
        QCOMPARE(QApplication::focusWidget(), window->startButton());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(window->phase(), Phase::Running);
        QCOMPARE(QApplication::focusWidget(), window->stopButton());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // every other control is disabled
        QCOMPARE(QApplication::focusWidget(), window->stopButton());
        QTRY_COMPARE(fake.started.load(), 1);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(window->isVisible());
        QTRY_COMPARE(window->phase(), Phase::Finished);
        QCOMPARE(fake.cancelled.load(), 1);
        if (stability)
            QCOMPARE(window->lastReport().duration_seconds, 1800.0);
        QCOMPARE(QApplication::focusWidget(), window->startButton());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!window->isVisible());
    }

    // The elapsed time moves on while the test runs.
    void elapsedTime()
    {
        FakeRuns fake;
        fake.run_ms = 50;
        StabilityWindowController window(setupFor(fake, cpuList({SysinfoCpuKind::unknown})));
        window.durationBox()->setCurrentIndex(4);
        window.show();
        QCOMPARE(window.headlineLabel()->text(), QStringLiteral("0:00"));
        window.start();
        QTRY_COMPARE_WITH_TIMEOUT(window.headlineLabel()->text(), QStringLiteral("0:01"), 3000);
        QVERIFY(window.detailLabel()->text().startsWith(QStringLiteral("until stopped, ")));
        window.stop();
        QTRY_COMPARE(window.phase(), Phase::Finished);
    }

    // Both windows draw their cards and texts from the palette: a dark
    // desktop gets the dark card and score colours.
    void darkPalette()
    {
        useDarkPalette();
        FakeRuns fake;
        MultiCoreWindowController multi(setupFor(fake, cpuList({SysinfoCpuKind::performance})));
        StabilityWindowController stability(setupFor(fake, cpuList({SysinfoCpuKind::efficiency})));
        for (RunnerWindowController* window : {static_cast<RunnerWindowController*>(&multi),
                                               static_cast<RunnerWindowController*>(&stability)}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            VERIFY_COLOR(textColor(window->headlineLabel()), PaletteTable::textScoreDark);
            VERIFY_COLOR(textColor(window->cpuGrid()->cell(0, CpuGrid::CpuColumn)), darkText);
            const QImage grid = window->cpuGrid()->grab().toImage();
            VERIFY_COLOR(grid.pixelColor(grid.width() / 2, 4), PaletteTable::cardBackgroundDark);
            VERIFY_COLOR(grid.pixelColor(grid.width() / 2, 0), PaletteTable::cardBorderDark);
        }
        // A switch back recolours open windows.
        QApplication::setPalette(QPalette());
        QCoreApplication::processEvents();
        VERIFY_COLOR(textColor(multi.headlineLabel()), PaletteTable::textScoreLight);
        VERIFY_COLOR(textColor(stability.cpuGrid()->cell(0, CpuGrid::KindColumn)), Palette::labelColor());
    }
};

QTEST_MAIN(TestRunnerWindows)
#include "test_runner_windows.moc"
