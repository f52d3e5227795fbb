#include <cstring>

#include <QApplication>
#include <QLabel>
#include <QLayout>

#include "card_frame.h"
#include "circular_progress_button.h"
#include "main_view_controller.h"
#include "palette.h"
#include "test_support.h"

namespace {

// A view over a machine with these frequencies, running `series` if given.
struct View : MainViewController {
    View(int mhz, int pMax, int eMax, BenchmarkCoordinator::SeriesFunction series = nullptr,
         const char* model = "Test CPU", int success = 1)
        : MainViewController(
              [=](SystemInfo* info) {
                  std::strncpy(info->cpu_model, model, sizeof info->cpu_model - 1);
                  info->cpu_frequency_mhz = mhz;
                  info->cpu_frequency_p_max_mhz = pMax;
                  info->cpu_frequency_e_max_mhz = eMax;
                  info->success = success;
              },
              std::move(series))
    {
    }
    // Name and value label of system information row i.
    QLabel* row(int i, int which) const
    {
        return qobject_cast<QLabel*>(systemInfoStackView()->itemAt(i)->widget()->layout()->itemAt(which)->widget());
    }
    QColor color(QLabel* label) const { return label->palette().color(QPalette::WindowText); }
    bool showsNoResult() const { return scoreValueLabel()->text() == "--" && timeValueLabel()->text() == "--"; }
};

}  // namespace

class TestMainView : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QApplication::setPalette(QPalette()); }

    void launchState()
    {
        View view(2400, 0, 0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.size(), QSize(400, 505));
        QVERIFY(view.showsNoResult());
        VERIFY_COLOR(view.color(view.scoreValueLabel()), Palette::textScoreColor().light);
        VERIFY_COLOR(view.color(view.timeValueLabel()), Palette::secondaryLabelColor());
        QVERIFY(view.startButton()->isEnabled() && !view.startButton()->isRingVisible());
        QCOMPARE(view.startButton()->title(), QStringLiteral("START"));
        // Button 160 x 160 centred 20 from the top; cards 360 wide, 20 apart.
        QCOMPARE(view.startButton()->geometry(), QRect(120, 20, 160, 160));
        const QRect results = view.resultsContainerView()->geometry();
        const QRect system = view.systemInfoContainerView()->geometry();
        QCOMPARE(QList<int>({results.x(), results.width(), results.top()}), QList<int>({20, 360, 200}));
        QCOMPARE(QList<int>({system.x(), system.width(), system.top()}), QList<int>({20, 360, results.bottom() + 21}));
        QVERIFY(system.bottom() < 505);
        const QImage card = view.resultsContainerView()->grab().toImage();
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), Palette::cardBackgroundColor().light);
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 0), Palette::cardBorderColor().light);
    }

    // "Frequency:" only while not both cluster maxima are known; a failed
    // collection shows "Unknown". A long value wraps, right-aligned, inside the card.
    void systemInfoRows()
    {
        const QString five = "CPU: Cores: Memory: OS: Architecture:";
        const QString six = "CPU: Cores: Frequency: Memory: OS: Architecture:";
        const std::tuple<int, int, int, QString, QString> cases[] = {
            {3230, 0, 1, six, "Test CPU@3.23GHz"},
            {3230, 2064, 1, five, "Test CPU@3.23GHz"},
            {0, 0, 0, five, "Unknown"},
        };
        for (const auto& [pMax, eMax, success, labels, cpu] : cases) {
            View view(2400, pMax, eMax, nullptr, "Test CPU", success);
            QStringList shown;
            for (int i = 0; i < view.systemInfoStackView()->count(); ++i)
                shown << view.row(i, 0)->text();
            QCOMPARE(shown.join(' '), labels);
            QCOMPARE(view.row(0, 2)->text(), cpu);
            if (labels == six)
                QCOMPARE(view.row(2, 2)->text(), QStringLiteral("2400 MHz"));
        }
        View view(0, 0, 0, nullptr, "Intel(R) Xeon(R) Platinum 8370C CPU with a rather long marketing name");
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QLabel* value = view.row(0, 2);
        QVERIFY(value->wordWrap() && (value->alignment() & Qt::AlignRight));
        QVERIFY(value->height() >= 2 * value->fontMetrics().lineSpacing());
        QVERIFY(value->parentWidget()->geometry().right() < view.systemInfoContainerView()->width());
    }

    // iteration / estimate in single precision, full at or past the end.
    void progressRatio()
    {
        const std::tuple<int, int, double> cases[] = {{95, 19, double(19.0f / 95.0f)}, {95, 95, 1.0}, {95, 200, 1.0},
                                                      {0, 0, 1.0}, {95, -3, 0.0}, {0, -1, 0.0}};
        View view(0, 0, 0);
        for (const auto& [estimated, iteration, progress] : cases) {
            view.startButton()->setProgress(0.5);
            view.coordinator().setEstimatedIterations(estimated);
            view.showProgress(iteration);
            QCOMPARE(view.startButton()->progress(), progress);
        }
    }

    void seriesThroughTheButton_data()
    {
        QTest::addColumn<bool>("success");
        QTest::newRow("successful series") << true;
        QTest::newRow("failed series") << false;
    }
    void seriesThroughTheButton()
    {
        QFETCH(bool, success);
        FakeSeries series;
        series.held = true;
        series.result.success = success ? 1 : 0;
        series.result.elapsed_time = 12.3456;
        series.result.score = 9876.4;
        View view(0, 0, 0, series.function());
        CircularProgressButton* button = view.startButton();
        view.show();
        QApplication::setActiveWindow(&view);
        QVERIFY(QTest::qWaitForWindowActive(&view));

        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(80, 80));
        QVERIFY(view.coordinator().isRunning() && !button->isEnabled() && button->isRingVisible());
        QTRY_COMPARE(button->progress(), 1.0);  // every report arrived while the series is held
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(80, 80));
        view.startBenchmark();
        QCOMPARE(series.calls.load(), 1);

        series.release.set_value();
        QTRY_VERIFY(button->isEnabled());
        QVERIFY(!view.coordinator().isRunning() && !button->isRingVisible());
        QCOMPARE(button->progress(), success ? 1.0 : 0.0);
        QCOMPARE(view.scoreValueLabel()->text(), success ? QStringLiteral("9876") : QStringLiteral("--"));
        QCOMPARE(view.timeValueLabel()->text(), success ? QStringLiteral("12.346 sec") : QStringLiteral("--"));
        VERIFY_COLOR(view.color(view.scoreValueLabel()), Palette::textScoreColor().light);
        VERIFY_COLOR(view.color(view.timeValueLabel()), success ? Palette::labelColor() : Palette::secondaryLabelColor());

        view.startBenchmark();  // the next start clears the result and the ring
        QVERIFY(!button->isEnabled() && button->progress() == 0.0 && view.showsNoResult());
        QTRY_VERIFY(button->isEnabled());
    }

    // Dark only for the exact name "Dark", which a desktop palette gets when its
    // window is darker than its text; a switch recolours the open window.
    void darkAppearance()
    {
        const auto score = Palette::textScoreColor();
        QCOMPARE(score.resolve(QStringLiteral("Dark")), score.dark);
        for (const char* name : {"Light", "dark", "HighContrastDark", ""})
            QCOMPARE(score.resolve(QString::fromLatin1(name)), score.light);
        QPalette grey;
        grey.setColor(QPalette::Window, QColor(128, 128, 128));
        grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
        QCOMPARE(Palette::appearanceNameForPalette(grey), QStringLiteral("Light"));

        View view(0, 0, 0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
        QApplication::setPalette(dark);
        QCoreApplication::processEvents();
        QCOMPARE(Palette::currentAppearanceName(), QStringLiteral("Dark"));
        VERIFY_COLOR(view.color(view.scoreValueLabel()), Palette::textScoreColor().dark);
        VERIFY_COLOR(view.color(view.timeValueLabel()), QColor(235, 235, 235, 140));
        VERIFY_COLOR(view.color(view.row(0, 2)), QColor(235, 235, 235));
        const QImage card = view.systemInfoContainerView()->grab().toImage();
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), Palette::cardBackgroundColor().dark);
    }
};

NUMERA_TEST_GROUP("main_view", TestMainView);
#include "test_main_view.moc"
