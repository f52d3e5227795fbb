#include <atomic>
#include <cstring>
#include <future>
#include <memory>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

#include "card_frame.h"
#include "circular_progress_button.h"
#include "main_view_controller.h"
#include "palette.h"
#include "test_support.h"

Q_DECLARE_METATYPE(SystemInfo)

namespace {

SystemInfo machine(int pMax, int eMax, int mhz, const char* model = "Test CPU")
{
    SystemInfo info{};
    std::strncpy(info.cpu_model, model, sizeof info.cpu_model - 1);
    info.cpu_cores_physical = 8;
    info.cpu_cores_logical = 16;
    info.cpu_frequency_mhz = mhz;
    info.cpu_frequency_p_max_mhz = pMax;
    info.cpu_frequency_e_max_mhz = eMax;
    info.total_memory_mb = 16384;
    std::strcpy(info.os_name, "Debian");
    std::strcpy(info.os_version, "12");
    std::strcpy(info.architecture, "x86_64");
    info.success = 1;
    return info;
}

// A series held at its end until released, with a chosen outcome.
struct GatedSeries {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<int> calls{0};
    int reports = 95;
    BenchmarkResult result{};

    BenchmarkCoordinator::SeriesFunction function()
    {
        return [this](BenchmarkProgressFn callback, void* context) {
            calls.fetch_add(1);
            for (int i = 1; i <= reports; ++i)
                callback(i, 8388608, context, 0.01);
            opened.wait();
            return result;
        };
    }
};

QList<QPair<QString, QString>> rowsOf(MainViewController& view)
{
    QList<QPair<QString, QString>> rows;
    QVBoxLayout* stack = view.systemInfoStackView();
    for (int i = 0; i < stack->count(); ++i) {
        auto* row = stack->itemAt(i)->widget()->layout();
        auto* name = qobject_cast<QLabel*>(row->itemAt(0)->widget());
        auto* value = qobject_cast<QLabel*>(row->itemAt(2)->widget());
        rows.append({name->text(), value->text()});
    }
    return rows;
}

QColor textColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

}  // namespace

class TestMainView : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QApplication::setPalette(QPalette()); }

    void launchState();
    void systemInfoRows_data();
    void systemInfoRows();
    void longValueWraps();
    void progressRatio_data();
    void progressRatio();
    void seriesThroughTheButton_data();
    void seriesThroughTheButton();
    void secondSeriesClearsTheResult();
    void themeSwitchRecolours();
};

void TestMainView::launchState()
{
    int collected = 0;
    MainViewController view([&](SystemInfo* info) { ++collected; *info = machine(0, 0, 2400); },
                            nullptr);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(collected, 1);
    QCOMPARE(view.size(), QSize(400, 505));
    QCOMPARE(view.scoreValueLabel()->text(), QStringLiteral("--"));
    QCOMPARE(view.timeValueLabel()->text(), QStringLiteral("--"));
    VERIFY_COLOR(textColor(view.scoreValueLabel()), Palette::textScoreColor().light);
    VERIFY_COLOR(textColor(view.timeValueLabel()), Palette::secondaryLabelColor());
    QVERIFY(view.startButton()->isEnabled());
    QCOMPARE(view.startButton()->title(), QStringLiteral("START"));
    QVERIFY(!view.startButton()->isRingVisible());

    // Button 160 x 160 centred 20 from the top; cards 360 wide, 20 apart.
    QCOMPARE(view.startButton()->geometry(), QRect(120, 20, 160, 160));
    const QRect results = view.resultsContainerView()->geometry();
    const QRect system = view.systemInfoContainerView()->geometry();
    QCOMPARE(results.x(), 20);
    QCOMPARE(results.width(), 360);
    QCOMPARE(results.top(), 200);
    QCOMPARE(system.x(), 20);
    QCOMPARE(system.width(), 360);
    QCOMPARE(system.top(), results.bottom() + 1 + 20);
    QVERIFY(system.bottom() < 505);

    QCOMPARE(view.scoreValueLabel()->font().pixelSize(), 48);
    QCOMPARE(view.scoreValueLabel()->font().families().first(), QStringLiteral("Menlo"));
    QCOMPARE(view.timeValueLabel()->font().pixelSize(), 14);

    // The card paints its own fill and border.
    const QImage card = view.resultsContainerView()->grab().toImage();
    VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), Palette::cardBackgroundColor().light);
    VERIFY_COLOR(card.pixelColor(card.width() / 2, 0), Palette::cardBorderColor().light);
}

void TestMainView::systemInfoRows_data()
{
    QTest::addColumn<SystemInfo>("info");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("frequency");
    const QStringList five{"CPU:", "Cores:", "Memory:", "OS:", "Architecture:"};
    const QStringList six{"CPU:", "Cores:", "Frequency:", "Memory:", "OS:", "Architecture:"};
    QTest::newRow("nominal frequency only") << machine(0, 0, 2400) << six << "2400 MHz";
    QTest::newRow("both cluster maxima") << machine(3230, 2064, 2400) << five << "";
    QTest::newRow("performance maximum only") << machine(3230, 0, 2400) << six << "2400 MHz";
    QTest::newRow("no frequency at all") << machine(0, 0, 0) << five << "";
    SystemInfo failed = machine(0, 0, 2400);
    failed.success = 0;
    QTest::newRow("collection failed") << failed << five << "";
}

void TestMainView::systemInfoRows()
{
    QFETCH(SystemInfo, info);
    QFETCH(QStringList, labels);
    QFETCH(QString, frequency);
    MainViewController view([&](SystemInfo* out) { *out = info; }, nullptr);
    const auto rows = rowsOf(view);
    QStringList shown;
    for (const auto& row : rows)
        shown << row.first;
    QCOMPARE(shown, labels);
    if (!frequency.isEmpty())
        QCOMPARE(rows[2].second, frequency);
    if (!info.success)
        QCOMPARE(rows[0].second, QStringLiteral("Unknown"));
    else
        QCOMPARE(rows.last().second, QStringLiteral("x86_64"));
}

void TestMainView::longValueWraps()
{
    const char* model = "Intel(R) Xeon(R) Platinum 8370C CPU with a rather long marketing name";
    MainViewController view([&](SystemInfo* out) { *out = machine(0, 0, 0, model); }, nullptr);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* row = view.systemInfoStackView()->itemAt(0)->widget();
    auto* value = qobject_cast<QLabel*>(row->layout()->itemAt(2)->widget());
    QCOMPARE(value->text(), QString::fromUtf8(model));
    QVERIFY(value->wordWrap());
    QVERIFY(value->alignment() & Qt::AlignRight);
    // Wrapped onto further lines within the card rather than cut.
    QVERIFY(value->height() >= 2 * value->fontMetrics().lineSpacing());
    QVERIFY(row->geometry().right() < view.systemInfoContainerView()->width());
}

void TestMainView::progressRatio_data()
{
    QTest::addColumn<int>("estimated");
    QTest::addColumn<int>("iteration");
    QTest::addColumn<double>("progress");
    QTest::newRow("start") << 95 << 0 << 0.0;
    QTest::newRow("one fifth") << 95 << 19 << double(19.0f / 95.0f);
    QTest::newRow("last report") << 95 << 95 << 1.0;
    QTest::newRow("past the end") << 95 << 200 << 1.0;
    QTest::newRow("estimate 0, iteration 0") << 0 << 0 << 1.0;
    QTest::newRow("estimate 0, iteration 5") << 0 << 5 << 1.0;
    QTest::newRow("negative iteration") << 95 << -3 << 0.0;
    QTest::newRow("negative iteration, estimate 0") << 0 << -1 << 0.0;
}

void TestMainView::progressRatio()
{
    QFETCH(int, estimated);
    QFETCH(int, iteration);
    QFETCH(double, progress);
    MainViewController view([](SystemInfo* out) { *out = machine(0, 0, 0); }, nullptr);
    view.startButton()->setProgress(0.5);
    view.coordinator().setEstimatedIterations(estimated);
    view.showProgress(iteration);
    QCOMPARE(view.startButton()->progress(), progress);
}

void TestMainView::seriesThroughTheButton_data()
{
    QTest::addColumn<bool>("success");
    QTest::newRow("successful series") << true;
    QTest::newRow("failed series") << false;
}

void TestMainView::seriesThroughTheButton()
{
    QFETCH(bool, success);
    GatedSeries series;
    series.result.success = success ? 1 : 0;
    series.result.elapsed_time = 12.3456;
    series.result.score = 9876.4;
    MainViewController view([](SystemInfo* out) { *out = machine(0, 0, 0); }, series.function());
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    CircularProgressButton* button = view.startButton();

    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(80, 80));
    QVERIFY(view.coordinator().isRunning());
    QVERIFY(!button->isEnabled());
    QVERIFY(button->isRingVisible());
    QCOMPARE(view.scoreValueLabel()->text(), QStringLiteral("--"));
    QCOMPARE(view.timeValueLabel()->text(), QStringLiteral("--"));

    // All reports arrive while the series is held: the ring fills.
    QTRY_COMPARE(button->progress(), 1.0);
    // Clicks while running start nothing.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(80, 80));
    view.startBenchmark();
    QCOMPARE(series.calls.load(), 1);

    series.gate.set_value();
    QTRY_VERIFY(button->isEnabled());
    QVERIFY(!view.coordinator().isRunning());
    QVERIFY(!button->isRingVisible());
    QCOMPARE(button->title(), QStringLiteral("START"));
    QCOMPARE(button->progress(), success ? 1.0 : 0.0);
    VERIFY_COLOR(textColor(view.scoreValueLabel()), Palette::textScoreColor().light);
    if (success) {
        QCOMPARE(view.scoreValueLabel()->text(), QStringLiteral("9876"));
        QCOMPARE(view.timeValueLabel()->text(), QStringLiteral("12.346 sec"));
        VERIFY_COLOR(textColor(view.timeValueLabel()), Palette::labelColor());
    } else {
        QCOMPARE(view.scoreValueLabel()->text(), QStringLiteral("--"));
        QCOMPARE(view.timeValueLabel()->text(), QStringLiteral("--"));
        VERIFY_COLOR(textColor(view.timeValueLabel()), Palette::secondaryLabelColor());
    }
}

void TestMainView::secondSeriesClearsTheResult()
{
    auto first = std::make_unique<GatedSeries>();
    first->result.success = 1;
    first->result.score = 100.0;
    first->gate.set_value();
    int runs = 0;
    GatedSeries second;
    second.reports = 0;
    auto firstFn = first->function();
    auto secondFn = second.function();
    MainViewController view([](SystemInfo* out) { *out = machine(0, 0, 0); },
                            [&](BenchmarkProgressFn f, void* c) {
                                return runs++ == 0 ? firstFn(f, c) : secondFn(f, c);
                            });
    view.startBenchmark();
    QTRY_COMPARE(view.scoreValueLabel()->text(), QStringLiteral("100"));
    QTRY_COMPARE(view.startButton()->strokeEnd(), 1.0);

    view.startBenchmark();
    QVERIFY(!view.startButton()->isEnabled());
    QCOMPARE(view.startButton()->progress(), 0.0);
    QCOMPARE(view.scoreValueLabel()->text(), QStringLiteral("--"));
    QCOMPARE(view.timeValueLabel()->text(), QStringLiteral("--"));
    // The ring runs back to empty.
    QTRY_COMPARE(view.startButton()->strokeEnd(), 0.0);
    second.gate.set_value();
    QTRY_VERIFY(view.startButton()->isEnabled());
}

void TestMainView::themeSwitchRecolours()
{
    MainViewController view([](SystemInfo* out) { *out = machine(0, 0, 0); }, nullptr);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();

    VERIFY_COLOR(textColor(view.scoreValueLabel()), Palette::textScoreColor().dark);
    VERIFY_COLOR(textColor(view.timeValueLabel()), Palette::secondaryLabelColor());
    QVERIFY(Palette::secondaryLabelColor().lightness() > 200);
    const auto rows = view.systemInfoStackView()->itemAt(0)->widget()->layout();
    VERIFY_COLOR(textColor(qobject_cast<QLabel*>(rows->itemAt(2)->widget())), QColor(235, 235, 235));
    const QImage card = view.systemInfoContainerView()->grab().toImage();
    VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), Palette::cardBackgroundColor().dark);
}

int runMainViewTests(int argc, char** argv)
{
    TestMainView test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_view.moc"
