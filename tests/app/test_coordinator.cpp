#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>
#include <QTest>
#include <QThread>

#include "benchmark_coordinator.h"
#include "gui_queue.h"

namespace {

// A stand-in series: reports a given number of iterations, can be held at
// its end until the test lets it go, and returns a chosen result.
struct FakeSeries : std::enable_shared_from_this<FakeSeries> {
    int reports = BenchmarkCoordinator::iterationsPerSeries;
    BenchmarkResult result{};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};
    bool held = false;

    static std::shared_ptr<FakeSeries> succeeding(double score = 4321.0)
    {
        auto fake = std::make_shared<FakeSeries>();
        fake->result.success = 1;
        fake->result.digits_calculated = 8388608;
        fake->result.elapsed_time = 12.5;
        fake->result.score = score;
        return fake;
    }

    static std::shared_ptr<FakeSeries> failing()
    {
        auto fake = std::make_shared<FakeSeries>();
        std::strcpy(fake->result.error_message, "All 5 benchmark runs failed");
        return fake;
    }

    BenchmarkCoordinator::SeriesFunction function()
    {
        return [self = shared_from_this()](BenchmarkProgressFn callback, void* context) {
            self->calls.fetch_add(1);
            for (int i = 1; i <= self->reports; ++i)
                callback(i, 8388608, context, 0.001);
            if (self->held)
                self->released.wait();
            return self->result;
        };
    }

};

std::shared_ptr<FakeSeries> make(std::shared_ptr<FakeSeries> fake, bool held)
{
    fake->held = held;
    return fake;
}

// What a display does with progress: hand the number to the GUI thread.
struct Recorder {
    std::vector<int> shown;  // GUI thread only
    std::vector<int> shownAtCompletion;
    std::atomic<bool> progressOnGuiThread{false};
    bool completionOnGuiThread = false;
    int completions = 0;
    bool runningAtCompletion = true;
    bool resultAtCompletion = false;
    BenchmarkResult delivered{};
    std::weak_ptr<BenchmarkCoordinator> coordinator;

    BenchmarkCoordinator::ProgressHandler progress()
    {
        return [this](int iteration, int, double) {
            if (QThread::currentThread() == qApp->thread())
                progressOnGuiThread = true;
            GuiQueue::post([this, iteration] { shown.push_back(iteration); });
        };
    }

    BenchmarkCoordinator::CompletionHandler completion()
    {
        return [this](BenchmarkResult result) {
            ++completions;
            completionOnGuiThread = QThread::currentThread() == qApp->thread();
            shownAtCompletion = shown;
            delivered = result;
            if (auto c = coordinator.lock()) {
                runningAtCompletion = c->isRunning();
                resultAtCompletion = c->hasResult();
            }
        };
    }
};

std::vector<int> oneTo(int n)
{
    std::vector<int> v;
    for (int i = 1; i <= n; ++i)
        v.push_back(i);
    return v;
}

}  // namespace

class TestCoordinator : public QObject {
    Q_OBJECT

private slots:
    void startsIdle();
    void seriesEndings_data();
    void seriesEndings();
    void completionFollowsEveryProgressReport();
    void startWhileRunningCallsNothing();
    void emptyHandlers_data();
    void emptyHandlers();
    void cancelLetsTheSeriesFinish();
    void seriesKeepsCoordinatorAlive();
};

void TestCoordinator::startsIdle()
{
    auto fake = make(FakeSeries::succeeding(), false);
    auto coordinator = BenchmarkCoordinator::create(fake->function());
    QVERIFY(!coordinator->isRunning());
    QVERIFY(!coordinator->hasResult());
    QCOMPARE(coordinator->estimatedIterations(), 0);
    const BenchmarkResult zero{};
    const BenchmarkResult last = coordinator->lastResult();
    QVERIFY(std::memcmp(&last, &zero, sizeof zero) == 0);
    QCOMPARE(fake->calls.load(), 0);
}

void TestCoordinator::seriesEndings_data()
{
    QTest::addColumn<bool>("success");
    QTest::newRow("successful series") << true;
    QTest::newRow("all runs failed") << false;
}

void TestCoordinator::seriesEndings()
{
    QFETCH(bool, success);
    auto fake = make(success ? FakeSeries::succeeding(1234.0) : FakeSeries::failing(), true);
    auto coordinator = BenchmarkCoordinator::create(fake->function());
    Recorder recorder;
    recorder.coordinator = coordinator;

    coordinator->startBenchmark(recorder.progress(), recorder.completion());
    // Running: set before the call returns.
    QVERIFY(coordinator->isRunning());
    QVERIFY(!coordinator->hasResult());
    QCOMPARE(coordinator->estimatedIterations(), 95);

    fake->release.set_value();
    QTRY_COMPARE(recorder.completions, 1);
    QVERIFY(recorder.completionOnGuiThread);
    QVERIFY(!recorder.runningAtCompletion);
    QCOMPARE(recorder.resultAtCompletion, success);

    QVERIFY(!coordinator->isRunning());
    QCOMPARE(coordinator->hasResult(), success);
    QCOMPARE(coordinator->estimatedIterations(), 95);
    const BenchmarkResult last = coordinator->lastResult();
    QCOMPARE(last.success, success ? 1 : 0);
    QCOMPARE(recorder.delivered.success, last.success);
    if (success) {
        QCOMPARE(last.score, 1234.0);
        QCOMPARE(last.elapsed_time, 12.5);
    } else {
        QCOMPARE(QString::fromUtf8(last.error_message), QStringLiteral("All 5 benchmark runs failed"));
    }
}

void TestCoordinator::completionFollowsEveryProgressReport()
{
    auto fake = make(FakeSeries::succeeding(), false);
    auto coordinator = BenchmarkCoordinator::create(fake->function());
    Recorder recorder;
    recorder.coordinator = coordinator;
    coordinator->startBenchmark(recorder.progress(), recorder.completion());
    QTRY_COMPARE(recorder.completions, 1);
    QVERIFY(!recorder.progressOnGuiThread);
    QCOMPARE(recorder.shownAtCompletion, oneTo(95));
}

void TestCoordinator::startWhileRunningCallsNothing()
{
    auto fake = make(FakeSeries::succeeding(), true);
    auto coordinator = BenchmarkCoordinator::create(fake->function());
    Recorder first;
    Recorder second;
    coordinator->startBenchmark(first.progress(), first.completion());
    coordinator->setEstimatedIterations(7);
    coordinator->startBenchmark(second.progress(), second.completion());
    QCOMPARE(coordinator->estimatedIterations(), 7);  // the refused start changed nothing

    fake->release.set_value();
    QTRY_COMPARE(first.completions, 1);
    QTest::qWait(20);  // let any stray task run
    QCOMPARE(fake->calls.load(), 1);
    QCOMPARE(second.completions, 0);
    QVERIFY(second.shown.empty());
}

void TestCoordinator::emptyHandlers_data()
{
    QTest::addColumn<bool>("withProgress");
    QTest::addColumn<bool>("withCompletion");
    QTest::newRow("neither") << false << false;
    QTest::newRow("progress only") << true << false;
    QTest::newRow("completion only") << false << true;
}

void TestCoordinator::emptyHandlers()
{
    QFETCH(bool, withProgress);
    QFETCH(bool, withCompletion);
    auto fake = make(FakeSeries::succeeding(), false);
    auto coordinator = BenchmarkCoordinator::create(fake->function());
    Recorder recorder;
    coordinator->startBenchmark(withProgress ? recorder.progress() : nullptr,
                                withCompletion ? recorder.completion() : nullptr);
    QTRY_VERIFY(!coordinator->isRunning());
    QVERIFY(coordinator->hasResult());
    QTest::qWait(20);
    QCOMPARE(recorder.completions, withCompletion ? 1 : 0);
    QCOMPARE(recorder.shown, withProgress ? oneTo(95) : std::vector<int>{});
}

void TestCoordinator::cancelLetsTheSeriesFinish()
{
    auto slow = make(FakeSeries::succeeding(111.0), true);
    std::atomic<int> which{0};
    auto fast = make(FakeSeries::failing(), false);
    // First call runs the held series, the second the failing one.
    auto coordinator = BenchmarkCoordinator::create(
        [&, slowFn = slow->function(), fastFn = fast->function()](BenchmarkProgressFn f, void* c) {
            return which.fetch_add(1) == 0 ? slowFn(f, c) : fastFn(f, c);
        });
    Recorder first;
    Recorder second;
    coordinator->startBenchmark(first.progress(), first.completion());
    coordinator->cancelBenchmark();
    QVERIFY(!coordinator->isRunning());

    // A start after a cancel runs a second series beside the first.
    coordinator->startBenchmark(second.progress(), second.completion());
    QVERIFY(coordinator->isRunning());
    QTRY_COMPARE(second.completions, 1);
    QVERIFY(!coordinator->hasResult());

    slow->release.set_value();
    QTRY_COMPARE(first.completions, 1);
    // The one that ended last leaves its result.
    QVERIFY(coordinator->hasResult());
    QCOMPARE(coordinator->lastResult().score, 111.0);
    QVERIFY(!coordinator->isRunning());
}

void TestCoordinator::seriesKeepsCoordinatorAlive()
{
    auto fake = make(FakeSeries::succeeding(), true);
    auto coordinator = BenchmarkCoordinator::create(fake->function());
    std::weak_ptr<BenchmarkCoordinator> weak = coordinator;
    Recorder recorder;
    coordinator->startBenchmark(recorder.progress(), recorder.completion());
    coordinator.reset();
    QVERIFY(!weak.expired());
    fake->release.set_value();
    QTRY_COMPARE(recorder.completions, 1);
    QCOMPARE(recorder.shownAtCompletion, oneTo(95));
    QTRY_VERIFY(weak.expired());
}

int runCoordinatorTests(int argc, char** argv)
{
    TestCoordinator test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_coordinator.moc"
