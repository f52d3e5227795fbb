// The History window on real SQLite files in a temporary XDG_DATA_HOME, and
// the main window keeping, copying and saving its results.
#include <time.h>

#include <fstream>

#include <QClipboard>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QLineSeries>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>

#include "card_frame.h"
#include "engine/engine_path.h"
#include "history_chart_view.h"
#include "history_recorder.h"
#include "history_seed.h"
#include "history_window_controller.h"
#include "palette.h"
#include "results/result_json.h"
#include "test_support.h"

namespace fs = std::filesystem;

using Records = std::vector<ResultRecord>;
Q_DECLARE_METATYPE(ResultRecord)
Q_DECLARE_METATYPE(Records)

namespace {

// 2025-03-01 plus whole days and hours, UTC.
std::string day(int days, int hours = 10)
{
    return isoUtc(QDateTime(QDate(2025, 3, 1), QTime(0, 0), Qt::UTC).addDays(days).addSecs(hours * 3600));
}

ResultRecord withTime(ResultRecord record, double elapsed)
{
    record.elapsed_time = elapsed;
    return record;
}

QStringList column(const QTableWidget* table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, column)->text();
    return texts;
}

QList<double> scores(const QLineSeries* series)
{
    QList<double> y;
    for (const QPointF& p : series ? series->points() : QList<QPointF>{})
        y << p.y();
    return y;
}

// Files moved aside beside the history.
int movedAside(const fs::path& history)
{
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(history.parent_path()))
        count += entry.path().filename().string().rfind(history.filename().string() + ".damaged-", 0) == 0;
    return count;
}

QString slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return QString::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    // Dates are shown in local time; the expected texts are in UTC.
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }
    void cleanup() { QApplication::setPalette(QPalette()); }

    // Each kind of result in its row, between an older and a newer one.
    void tableRow_data()
    {
        QTest::addColumn<ResultRecord>("record");
        QTest::addColumn<QStringList>("texts");  // mode, score, time
        QTest::addColumn<QString>("verdict");    // its start
        const std::string run3 = "Computed digits do not match pi (run 3 of 5)";
        const std::string digits = "Computed digits do not match pi";
        QTest::newRow("single-core")
            << withTime(syntheticResult(ResultMode::single, day(3), 702), 17.9)
            << QStringList{"Single-core", "702", "17.900 sec"} << "Verified";
        QTest::newRow("single-core failed") << syntheticResult(ResultMode::single, day(3), 0, run3)
                                            << QStringList{"Single-core", "--", "--"} << QString::fromStdString(run3);
        QTest::newRow("multi-core") << withTime(syntheticResult(ResultMode::multi, day(3), 2710.4), 4.6384)
                                    << QStringList{"Multi-core", "2710", "4.638 sec"} << "Verified";
        QTest::newRow("stability") << syntheticResult(ResultMode::stress, day(3), 0)
                                   << QStringList{"Stability", "--", "10:00"} << "No errors: 4 CPUs, 10:00";
        QTest::newRow("stability failed")
            << syntheticResult(ResultMode::stress, day(3), 0, digits) << QStringList{"Stability", "--", "10:00"}
            << "Error on CPU 1 after 3:12: Computed digits do not match pi";
    }
    void tableRow()
    {
        QFETCH(ResultRecord, record);
        QFETCH(QStringList, texts);
        QFETCH(QString, verdict);
        TemporaryHistory history;
        seedHistory({syntheticResult(ResultMode::single, day(1), 690), record,
                     syntheticResult(ResultMode::single, day(5), 700)});
        HistoryWindowController window;
        window.reload();
        QCOMPARE(window.state(), HistoryWindowController::State::Results);
        const QTableWidget* table = window.tableView();
        QCOMPARE(table->rowCount(), 3);
        QStringList row;
        for (int c = 0; c < HistoryWindowController::ColumnCount; ++c)
            row << table->item(1, c)->text();
        // In the history's order, newest first.
        QCOMPARE(column(table, HistoryWindowController::DateColumn),
                 (QStringList{"2025-03-06 10:00", "2025-03-04 10:00", "2025-03-02 10:00"}));
        QCOMPARE(row.mid(1, 3), texts);
        QCOMPARE(row.mid(4, 2), (QStringList{"x86-64-v3", "Synthetic Test CPU 4C@4.20GHz"}));
        QVERIFY2(row[6].startsWith(verdict), qPrintable(row[6]));
        const QColor shown = table->item(1, HistoryWindowController::VerdictColumn)->foreground().color();
        if (record.success)
            QVERIFY(shown != PaletteTable::textError);
        else
            VERIFY_COLOR(shown, PaletteTable::textError);
    }

    // Successful single- and multi-core results as two lines in date order;
    // failures and stability tests have no point; a mode without a point
    // has no line.
    void chartSeries_data()
    {
        QTest::addColumn<Records>("records");
        QTest::addColumn<QList<double>>("single");
        QTest::addColumn<QList<double>>("multi");
        const auto single = [](int d, double score, std::string error = {}) {
            return syntheticResult(ResultMode::single, day(d), score, error);
        };
        const auto multi = [](int d, double score) { return syntheticResult(ResultMode::multi, day(d), score); };
        const auto stress = [](int d) { return syntheticResult(ResultMode::stress, day(d), 0); };
        QTest::newRow("both modes") << Records{single(3, 710), single(1, 700), single(2, 0, "Cancelled"),
                                               multi(4, 2800), multi(2, 2700), stress(5), single(6, 705)}
                                    << QList<double>{700, 710, 705} << QList<double>{2700, 2800};
        QTest::newRow("single-core only") << Records{single(1, 700)} << QList<double>{700} << QList<double>{};
        QTest::newRow("multi-core only") << Records{multi(2, 2650), multi(1, 2700), stress(3)} << QList<double>{}
                                         << QList<double>{2700, 2650};
        QTest::newRow("no scores") << Records{single(1, 0, "Computed digits do not match pi"), stress(2)}
                                   << QList<double>{} << QList<double>{};
    }
    void chartSeries()
    {
        QFETCH(Records, records);
        QFETCH(QList<double>, single);
        QFETCH(QList<double>, multi);
        TemporaryHistory history;
        seedHistory(records);
        HistoryWindowController window;
        window.reload();
        QCOMPARE(window.tableView()->rowCount(), static_cast<int>(records.size()));
        const HistoryChartView* view = window.chartView();
        QChart* chart = view->chart();
        QCOMPARE(chart->series().size(), int(!single.isEmpty()) + int(!multi.isEmpty()));
        QCOMPARE(scores(view->singleCoreSeries()), single);
        QCOMPARE(scores(view->multiCoreSeries()), multi);
        QCOMPARE(chart->title().isEmpty(), !single.isEmpty() || !multi.isEmpty());
        if (single.isEmpty() && multi.isEmpty())
            return;

        // x is the start time; every point lies inside both of its axes.
        for (QLineSeries* series : {view->singleCoreSeries(), view->multiCoreSeries()}) {
            if (!series)
                continue;
            for (const QPointF& p : series->points()) {
                const auto* dates = qobject_cast<QDateTimeAxis*>(series->attachedAxes().value(0));
                const auto* values = qobject_cast<QValueAxis*>(series->attachedAxes().value(1));
                QVERIFY(dates && values);
                const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(p.x()), Qt::UTC);
                QCOMPARE(at.time(), QTime(10, 0));
                QVERIFY(dates->min() < at && at < dates->max());
                QVERIFY(values->min() < p.y() && p.y() < values->max());
            }
        }
    }

    // No results: a message instead of the table and chart. Nothing yet is
    // an empty state, and the window creates no history; a history that
    // cannot be read shows why in one line, in the error colour, and is
    // left exactly as it was.
    void messageInstead_data()
    {
        QTest::addColumn<QString>("history");
        QTest::newRow("no file") << "";
        QTest::newRow("no results in it") << "empty";
        QTest::newRow("not a database") << "text";
        QTest::newRow("cut short") << "truncated";
        QTest::newRow("a folder in its place") << "folder";
    }
    void messageInstead()
    {
        QFETCH(QString, history);
        TemporaryHistory temporary;
        const fs::path path = temporary.path();
        if (history == "empty") {
            seedHistory({});
        } else if (history == "folder") {
            fs::create_directories(path);
        } else if (history == "text") {
            fs::create_directories(path.parent_path());
            std::ofstream(path) << QByteArray(8192, 'x').constData();
        } else if (history == "truncated") {
            seedHistory(syntheticWeeks(QDateTime(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC)));
            fs::resize_file(path, 4096 + 512);
        }
        const QString before = fs::is_regular_file(path) ? slurp(path) : QString();
        HistoryWindowController window;
        window.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.messageLabel()->isVisible() && !window.tableView()->isVisible() && !window.chartView()->isVisible());
        QCOMPARE(window.tableView()->rowCount(), 0);
        const QString line = window.messageLabel()->text();
        if (history.isEmpty() || history == "empty") {
            QCOMPARE(window.state(), HistoryWindowController::State::Empty);
            QVERIFY2(line.startsWith("No results yet"), qPrintable(line));
            QCOMPARE(fs::exists(path), !history.isEmpty());
            QCOMPARE(fs::exists(path.parent_path()), !history.isEmpty());
            return;
        }
        QCOMPARE(window.state(), HistoryWindowController::State::Error);
        QVERIFY2(line.startsWith("The history cannot be read: ") && line.contains(QString::fromStdString(path.string())),
                 qPrintable(line));
        QVERIFY(!line.contains('\n'));
        VERIFY_COLOR(textColor(window.messageLabel()), PaletteTable::textError);
        QCOMPARE(fs::is_regular_file(path) ? slurp(path) : QString(), before);
        QCOMPARE(movedAside(path), 0);
    }

    // Focus starts in the table; Tab goes to Close; Esc closes.
    void keyboard()
    {
        TemporaryHistory history;
        seedHistory({syntheticResult(ResultMode::single, day(1), 700), syntheticResult(ResultMode::multi, day(2), 2700)});
        HistoryWindowController window;
        window.showWindow();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTableWidget* table = window.tableView();
        QCOMPARE(QApplication::focusWidget(), table);
        QCOMPARE(table->currentRow(), 0);
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentRow(), 1);
        QTest::keyClick(table, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window.closeButton());
        QTest::keyClick(window.closeButton(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), table);
        QTest::keyClick(table, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    // The chart is a card in the palette's colours and changes with it.
    void followsPalette()
    {
        TemporaryHistory history;
        seedHistory({syntheticResult(ResultMode::single, day(1), 700), syntheticResult(ResultMode::multi, day(2), 2700)});
        HistoryWindowController window;
        window.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto cardPixel = [&] {
            const QImage image = window.chartView()->grab().toImage();
            return image.pixelColor(image.width() / 2, 4);  // inside the card's frame, above the legend
        };
        VERIFY_COLOR(cardPixel(), PaletteTable::cardBackgroundLight);
        QCOMPARE(window.chartView()->singleCoreSeries()->color(), PaletteTable::textScoreLight);

        useDarkPalette();
        VERIFY_COLOR(cardPixel(), PaletteTable::cardBackgroundDark);
        VERIFY_COLOR(window.chartView()->singleCoreSeries()->color(), PaletteTable::textScoreDark);
        VERIFY_COLOR(window.chartView()->multiCoreSeries()->color(), PaletteTable::progressActive);
        VERIFY_COLOR(window.chartView()->dateAxis()->labelsColor(), darkText);
    }

    // Every finished series is kept with the card's machine, successful or
    // failed; a history that cannot take it costs one line under the cards,
    // never the result.
    void seriesAreKept_data()
    {
        QTest::addColumn<int>("success");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("notice");  // what the line says, "" none
        QTest::addColumn<bool>("stored");
        const QString run3 = QStringLiteral("Computed digits do not match pi (run 3 of 5)");
        QTest::newRow("successful series") << 1 << "" << "" << "" << true;
        QTest::newRow("failed series") << 0 << run3 << "" << "" << true;
        QTest::newRow("damaged history") << 1 << "" << "damaged" << "moved it aside" << true;
        QTest::newRow("no folder for it") << 0 << run3 << "unmakeable" << "result not stored" << false;
    }
    void seriesAreKept()
    {
        QFETCH(int, success);
        QFETCH(QString, message);
        QFETCH(QString, setup);
        QFETCH(QString, notice);
        QFETCH(bool, stored);
        TemporaryHistory history;
        const fs::path path = history.path();
        if (setup == "damaged") {
            fs::create_directories(path.parent_path());
            std::ofstream(path) << "not a database";
        } else if (setup == "unmakeable") {
            std::ofstream(history.folder().toStdString() + "/numera") << "a file where the folder goes";
        }
        FakeSeries series;
        series.ends(success, message);
        MainViewController view(testMachine, series.function());
        view.show();
        QSignalSpy recorded(view.historyRecorder(), &HistoryRecorder::recorded);
        const std::string before = result_utc_now();
        view.startBenchmark();
        QVERIFY(recorded.wait(10000));
        const std::string after = result_utc_now();

        QCOMPARE(view.scoreValueLabel()->text(), success ? QStringLiteral("9876") : QStringLiteral("--"));
        QCOMPARE(view.timeValueLabel()->text(), success ? QStringLiteral("12.346 sec") : message);
        const QString line = recorded.at(0).at(1).toString();
        QCOMPARE(recorded.at(0).at(0).toString(), QString::fromStdString(view.shownResult()->result_id));
        QCOMPARE(view.historyNoticeLabel()->isVisible(), !notice.isEmpty());
        QCOMPARE(view.historyNoticeLabel()->text(), line);
        QVERIFY2(notice.isEmpty() ? line.isEmpty() : line.contains(notice) && !line.contains('\n'), qPrintable(line));
        if (!notice.isEmpty()) {
            QVERIFY(view.historyNoticeLabel()->geometry().top() > view.systemInfoContainerView()->geometry().bottom());
            QVERIFY(view.rect().contains(view.historyNoticeLabel()->geometry()));
        }

        const std::unique_ptr<ResultStore> store = stored ? result_history_open_existing(path) : nullptr;
        QCOMPARE(store != nullptr, stored);
        if (!stored)
            return;
        const std::vector<StoredResult> kept = store->list(ResultQuery{});
        QCOMPARE(kept.size(), size_t(1));
        const ResultRecord& r = kept[0].record;
        QCOMPARE(r.result_id, view.shownResult()->result_id);
        QCOMPARE(r.mode, ResultMode::single);
        QCOMPARE(r.success, success == 1);
        QCOMPARE(r.score, success ? 9876.4 : 0.0);
        QCOMPARE(QString::fromStdString(r.error_message), message);
        QVERIFY(before <= r.started_at && r.started_at <= after);
        QCOMPARE(r.system.cpu_model, std::string("Intel(R) Xeon(R) Processor"));
        QCOMPARE(r.system.total_memory_mb, int64_t(24576));
        QCOMPARE(result_engine_text(r.engine), pi_engine_path_text(pi_engine_path()));
        QCOMPARE(movedAside(path), setup == "damaged" ? 1 : 0);

        // The next series takes the line away with the result.
        series.ends(true);
        QSignalSpy changed(&view, &MainViewController::shownResultChanged);
        view.startBenchmark();
        QVERIFY(!view.historyNoticeLabel()->isVisible() && !view.shownResult());
        QVERIFY(recorded.wait(10000));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(result_history_open_existing(path)->list(ResultQuery{}).size(), size_t(2));
    }

    // The engine's series keeps every run it started: here five that could
    // not get their memory, quickly, with the radix of none.
    void seriesRunsAreKept()
    {
        TemporaryHistory history;
        const BenchmarkCoordinator::SeriesFunction noMemory = [](BenchmarkProgressFn callback, void* context) {
            return BenchmarkCoordinator::engineSeriesWith(callback, context, [](int) {
                PiRunHooks hooks{};
                hooks.allocate = [](size_t) -> void* { return nullptr; };
                return hooks;
            });
        };
        MainViewController view(testMachine, noMemory);
        QSignalSpy recorded(view.historyRecorder(), &HistoryRecorder::recorded);
        view.startBenchmark();
        QVERIFY(recorded.wait(10000));
        const ResultRecord& r = *view.shownResult();
        QCOMPARE(r.success, false);
        QCOMPARE(r.error_message, std::string("All 5 benchmark runs failed"));
        QCOMPARE(r.runs.size(), size_t(5));
        for (const ResultRun& run : r.runs) {
            QVERIFY(!run.success && !run.verified && run.radix == 0);
            QCOMPARE(run.error_message, std::string(pi_message_allocation_failed));
        }
        QCOMPARE(result_history_open_existing(history.path())->list(ResultQuery{})[0].record.runs.size(), size_t(5));
    }

    // Through the menu's keys: Copy puts the result and the card's facts on
    // the clipboard, Save writes JSON that results/ reads back and the
    // schema accepts; both only while a result is shown. Ctrl+Y opens the
    // history, which shows each new result.
    void copySaveAndShowHistory_data()
    {
        QTest::addColumn<int>("success");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("resultLines");
        QTest::newRow("successful series")
            << 1 << "" << QStringList{"Score: 9876", "Time: 12.346 sec", "Verdict: Verified"};
        QTest::newRow("failed series") << 0 << "Computed digits do not match pi (run 2 of 5)"
                                       << QStringList{"Score: --", "Time: --",
                                                      "Verdict: Computed digits do not match pi (run 2 of 5)"};
    }
    void copySaveAndShowHistory()
    {
        QFETCH(int, success);
        QFETCH(QString, message);
        QFETCH(QStringList, resultLines);
        TemporaryHistory history;
        FakeSeries series;
        series.held = true;
        series.ends(success, message);
        AppDelegate delegate(testMachine, series.function());
        QVERIFY(launch(delegate));
        QMainWindow* window = delegate.window();
        MainViewController* view = delegate.mainViewController();
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("untouched"));

        const QAction* results = window->menuBar()->actions().value(1);
        QCOMPARE(menuItems(results), (QStringList{"Copy Result Ctrl+C", "Save Result\u2026 Ctrl+S", "-", "Show History Ctrl+Y"}));
        QVERIFY(!delegate.copyResultAction()->isEnabled() && !delegate.saveResultAction()->isEnabled());
        QTest::keySequence(window, QKeySequence::Copy);
        QCOMPARE(clipboard->text(), QStringLiteral("untouched"));

        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_Y));
        HistoryWindowController* historyWindow = delegate.historyWindowController();
        QVERIFY(historyWindow && historyWindow->isVisible());
        QCOMPARE(historyWindow->state(), HistoryWindowController::State::Empty);

        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        view->startBenchmark();
        QVERIFY(!delegate.copyResultAction()->isEnabled());
        series.release.set_value();
        QTRY_VERIFY(delegate.copyResultAction()->isEnabled() && delegate.saveResultAction()->isEnabled());
        QTRY_COMPARE(historyWindow->tableView()->rowCount(), 1);
        QCOMPARE(historyWindow->state(), HistoryWindowController::State::Results);

        // The main window's keys work in the main window.
        historyWindow->close();
        QApplication::setActiveWindow(window);
        QTRY_COMPARE(QApplication::activeWindow(), window);
        QTest::keySequence(window, QKeySequence::Copy);
        const QString text = clipboard->text();
        QVERIFY(text.endsWith('\n'));
        const QStringList lines = text.chopped(1).split('\n');
        QCOMPARE(lines.value(0), QStringLiteral("Numera %1, single-core benchmark").arg(result_program_version()));
        const QRegularExpressionMatch date =
            QRegularExpression(QStringLiteral("^Date: (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) UTC$")).match(lines.value(1));
        QVERIFY2(date.hasMatch(), qPrintable(lines.value(1)));
        const QDateTime at = QDateTime::fromString(date.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUTC();
        QVERIFY(before <= at && at <= QDateTime::currentDateTimeUtc());
        QCOMPARE(lines.mid(2, 3), resultLines);
        QCOMPARE(lines.value(5), QStringLiteral("Engine: %1").arg(QString::fromStdString(pi_engine_path_text(pi_engine_path()))));
        for (int i = 0; i < view->systemInfoStackView()->count(); ++i)
            QCOMPARE(lines.value(6 + i), infoLabel(*view, i, 0)->text() + ' ' + infoLabel(*view, i, 2)->text());
        QCOMPARE(lines.size(), 6 + view->systemInfoStackView()->count());

        // Save Result...: the file dialog comes up with a name; give it ours.
        const QString file = history.folder() + QStringLiteral("/saved result.json");
        QString offered;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            offered = dialog->selectedFiles().value(0);
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::keySequence(window, QKeySequence::Save);
        QVERIFY2(QFileInfo(offered).fileName().startsWith("numera-single-") && offered.endsWith(".json"),
                 qPrintable(offered));
        const Records read = result_read_file(file.toStdString());
        QCOMPARE(read.size(), size_t(1));
        QCOMPARE(result_json_dump(result_to_json(read[0])), result_json_dump(result_to_json(*view->shownResult())));
        QCOMPARE(read[0].error_message, message.toStdString());
        QProcess validate;
        validate.start(QStringLiteral("python3"), {QStringLiteral(NUMERA_VALIDATE_SCRIPT),
                                                   QStringLiteral(NUMERA_RESULT_SCHEMA), QString(), file});
        QVERIFY(validate.waitForFinished(30000));
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());

        // A file that cannot be written is reported, not half written.
        QVERIFY(!view->saveResultTo(history.folder() + QStringLiteral("/no such folder/x.json")).isEmpty());
    }
};

QTEST_MAIN(TestHistory)
#include "test_history.moc"
