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
    View(int mhz, int pMax, int eMax, BenchmarkCoordinator::SeriesFunction series = nullptr, int success = 1)
        : MainViewController(
              [=](SystemInfo* info) {
                  std::strcpy(info->cpu_model, "Test CPU");
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

    // "--" at launch in the light colours; a switch to a dark desktop (window
    // darker than text) recolours the open window. Only "Dark" itself is dark.
    void launchStateAndThemeSwitch()
    {
        View view(2400, 0, 0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.size(), QSize(400, 505));
        QCOMPARE(view.startButton()->geometry(), QRect(120, 20, 160, 160));
        QVERIFY(view.startButton()->isEnabled() && !view.startButton()->isRingVisible());
        QCOMPARE(view.startButton()->title(), QStringLiteral("START"));
        QVERIFY(view.showsNoResult());
        VERIFY_COLOR(view.color(view.scoreValueLabel()), Palette::textScoreColor().light);
        VERIFY_COLOR(view.color(view.timeValueLabel()), Palette::secondaryLabelColor());
        QImage card = view.resultsContainerView()->grab().toImage();
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), Palette::cardBackgroundColor().light);
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 0), Palette::cardBorderColor().light);

        QPalette dark;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
        QApplication::setPalette(dark);
        QCoreApplication::processEvents();
        QCOMPARE(Palette::currentAppearanceName(), QStringLiteral("Dark"));
        VERIFY_COLOR(view.color(view.scoreValueLabel()), Palette::textScoreColor().dark);
        VERIFY_COLOR(view.color(view.timeValueLabel()), QColor(235, 235, 235, 140));
        VERIFY_COLOR(view.color(view.row(0, 2)), QColor(235, 235, 235));
        card = view.systemInfoContainerView()->grab().toImage();
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), Palette::cardBackgroundColor().dark);
        for (const char* name : {"Light", "dark", "HighContrastDark"})
            QCOMPARE(Palette::textScoreColor().resolve(QString::fromLatin1(name)), Palette::textScoreColor().light);
        dark.setColor(QPalette::Window, QColor(235, 235, 235));  // as light as the text: not dark
        QCOMPARE(Palette::appearanceNameForPalette(dark), QStringLiteral("Light"));
    }

    // "Frequency:" only while not both cluster maxima are known; a failed
    // collection shows "Unknown".
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
            View view(2400, pMax, eMax, nullptr, success);
            QStringList shown;
            for (int i = 0; i < view.systemInfoStackView()->count(); ++i)
                shown << view.row(i, 0)->text();
            QCOMPARE(shown.join(' '), labels);
            QCOMPARE(view.row(0, 2)->text(), cpu);
            if (labels == six)
                QCOMPARE(view.row(2, 2)->text(), QStringLiteral("2400 MHz"));
        }
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
};

QTEST_MAIN(TestMainView)
#include "test_main_view.moc"
