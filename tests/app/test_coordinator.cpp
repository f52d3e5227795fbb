#include <cstring>
#include <numeric>
#include <vector>

#include <QCoreApplication>
#include <QThread>

#include "gui_queue.h"
#include "test_support.h"

namespace {

// Starts series the way a display does: progress hands the number to the
// GUI thread; the completion notes what had been shown by then.
struct Recorder {
    explicit Recorder(std::shared_ptr<BenchmarkCoordinator> c) : coordinator(std::move(c)) {}
    std::shared_ptr<BenchmarkCoordinator> coordinator;
    std::vector<int> shown, shownAtCompletion;
    std::atomic<bool> progressOnGuiThread{false};
    int completions = 0;
    bool completionOnGuiThread = true;
    bool runningAtCompletion = true;
    BenchmarkResult delivered{};

    void start(bool withProgress = true, bool withCompletion = true)
    {
        BenchmarkCoordinator::ProgressHandler progress = [this](int iteration, int, double) {
            progressOnGuiThread = progressOnGuiThread || QThread::currentThread() == qApp->thread();
            GuiQueue::post([this, iteration] { shown.push_back(iteration); });
        };
        BenchmarkCoordinator::CompletionHandler completion = [this](BenchmarkResult result) {
            ++completions;
            completionOnGuiThread = completionOnGuiThread && QThread::currentThread() == qApp->thread();
            shownAtCompletion = shown;
            runningAtCompletion = coordinator->isRunning();
            delivered = result;
        };
        coordinator->startBenchmark(withProgress ? progress : nullptr, withCompletion ? completion : nullptr);
    }
};

std::vector<int> oneTo(int n)
{
    std::vector<int> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), 1);
    return v;
}

}  // namespace

class TestCoordinator : public QObject {
    Q_OBJECT

private slots:
    // Flags before, during and after a series that succeeds or fails; the
    // completion runs on the GUI thread after every progress report. Either
    // handler may be missing.
    void seriesEndings_data()
    {
        QTest::addColumn<bool>("success");
        QTest::addColumn<bool>("withProgress");
        QTest::addColumn<bool>("withCompletion");
        QTest::newRow("successful series") << true << true << true;
        QTest::newRow("all runs failed") << false << true << true;
        QTest::newRow("progress only") << true << true << false;
        QTest::newRow("completion only") << true << false << true;
    }
    void seriesEndings()
    {
        QFETCH(bool, success);
        QFETCH(bool, withProgress);
        QFETCH(bool, withCompletion);
        FakeSeries fake;
        fake.result.success = success ? 1 : 0;
        fake.result.score = 1234.0;
        std::strcpy(fake.result.error_message, "All 5 benchmark runs failed");
        Recorder recorder{BenchmarkCoordinator::create(fake.function())};
        BenchmarkCoordinator& coordinator = *recorder.coordinator;
        QVERIFY(!coordinator.isRunning() && !coordinator.hasResult());
        QCOMPARE(coordinator.estimatedIterations(), 0);

        recorder.start(withProgress, withCompletion);
        QVERIFY(coordinator.isRunning() && !coordinator.hasResult());
        QCOMPARE(coordinator.estimatedIterations(), 95);
        QTRY_VERIFY(!coordinator.isRunning());
        QCOMPARE(coordinator.hasResult(), success);
        QCOMPARE(coordinator.lastResult().score, 1234.0);
        QTest::qWait(20);  // let any stray task run
        QCOMPARE(recorder.shown, withProgress ? oneTo(95) : std::vector<int>{});
        QCOMPARE(recorder.completions, withCompletion ? 1 : 0);
        if (withCompletion) {
            QVERIFY(!recorder.progressOnGuiThread && recorder.completionOnGuiThread);
            QCOMPARE(recorder.shownAtCompletion, withProgress ? oneTo(95) : std::vector<int>{});
            QVERIFY(!recorder.runningAtCompletion);
            QCOMPARE(QString(recorder.delivered.error_message), QStringLiteral("All 5 benchmark runs failed"));
        }
    }

    // A start while running calls nothing. A cancel stops the series, which
    // delivers "Cancelled" like any result; the coordinator stays running
    // until then, and the stop does not carry over to the next series.
    void cancelStopsTheSeries()
    {
        FakeSeries fake;
        fake.held = true;
        fake.result.success = 1;
        Recorder first{BenchmarkCoordinator::create(fake.function())}, second{first.coordinator};
        BenchmarkCoordinator& coordinator = *first.coordinator;
        coordinator.cancelBenchmark();  // nothing running: nothing to stop later
        first.start();
        coordinator.setEstimatedIterations(7);
        second.start();
        QCOMPARE(coordinator.estimatedIterations(), 7);
        QTRY_COMPARE(first.shown.size(), size_t(95));
        QTest::qWait(20);
        QVERIFY(coordinator.isRunning() && !fake.sawStop);

        coordinator.cancelBenchmark();
        QVERIFY(coordinator.isRunning());
        QTRY_COMPARE(first.completions, 1);
        QVERIFY(fake.sawStop);
        QCOMPARE(QString(first.delivered.error_message), QStringLiteral("Cancelled"));
        QCOMPARE(first.delivered.success, 0);
        QVERIFY(!first.runningAtCompletion && !coordinator.hasResult());
        QCOMPARE(fake.calls.load(), 1);
        QCOMPARE(second.completions, 0);

        fake.sawStop = false;
        first.start();
        QTest::qWait(30);
        QVERIFY(coordinator.isRunning() && !fake.sawStop);
        fake.release.set_value();
        QTRY_COMPARE(first.completions, 2);
        QVERIFY(coordinator.hasResult() && first.delivered.success == 1);
    }

    // The engine's own series ends within its first run when cancelled
    // after the first report, with "Cancelled" and no score.
    void engineSeriesStops()
    {
        Recorder recorder{BenchmarkCoordinator::create(BenchmarkCoordinator::engineSeries)};
        recorder.start();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.shown.empty(), 60000);
        recorder.coordinator->cancelBenchmark();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.completions, 1, 60000);
        QCOMPARE(QString(recorder.delivered.error_message), QStringLiteral("Cancelled"));
        QCOMPARE(recorder.delivered.score, 0.0);
        QVERIFY2(recorder.shown.size() < size_t(pi_benchmark_iterations_per_run),
                 qPrintable(QString::number(recorder.shown.size())));
    }
};

QTEST_MAIN(TestCoordinator)
#include "test_coordinator.moc"
