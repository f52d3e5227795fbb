#include <algorithm>


#include "card_frame.h"
#include "sysinfo/linux_system_provider.h"
#include "circular_progress_button.h"
#include "palette.h"
#include "test_support.h"

namespace {

using Collector = MainViewController::SystemInfoCollector;

// A machine with these frequencies.
Collector machine(int mhz, int pMax, int eMax, int success = 1)
{
    return [=](SystemInfo* info) {
        std::strcpy(info->cpu_model, "Test CPU");
        info->cpu_frequency_mhz = mhz;
        info->cpu_frequency_p_max_mhz = pMax;
        info->cpu_frequency_e_max_mhz = eMax;
        info->success = success;
    };
}

// The machine of a fixture tree of the system information tests.
Collector fixtureMachine(const QString& tree)
{
    const std::string root = std::string(NUMERA_SYSINFO_FIXTURES) + "/" + tree.toStdString();
    return [root](SystemInfo* info) {
        LinuxSystemProvider provider(root);
        collect_system_info(info, provider);
    };
}

struct View : MainViewController {
    explicit View(Collector collect, BenchmarkCoordinator::SeriesFunction series = nullptr)
        : MainViewController(std::move(collect), std::move(series))
    {
    }
    View(int mhz, int pMax, int eMax, BenchmarkCoordinator::SeriesFunction series = nullptr, int success = 1)
        : View(machine(mhz, pMax, eMax, success), std::move(series))
    {
    }
    QLabel* row(int i, int which) const { return infoLabel(*this, i, which); }
    bool showsNoResult() const { return scoreValueLabel()->text() == "--" && timeValueLabel()->text() == "--"; }

    // Empty when the label's text, laid out as the label draws it, fits the
    // label, the label lies inside its card and the card inside the view;
    // otherwise what is cut off.
    QString cutOff(const QLabel* label, const QWidget* card) const
    {
        const QRect box = label->contentsRect();
        const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
        const QRect needed = QFontMetrics(label->font()).boundingRect(box, flags, label->text());
        const QRect inCard(label->mapTo(card, QPoint()), label->size());
        const QRect inView(card->mapTo(this, QPoint()), card->size());
        if (!label->isVisibleTo(this) || !box.contains(needed))
            return QStringLiteral("'%1' needs %2 x %3, has %4 x %5")
                .arg(label->text()).arg(needed.width()).arg(needed.height()).arg(box.width()).arg(box.height());
        if (!card->rect().adjusted(1, 1, -1, -1).contains(inCard) || !rect().contains(inView))
            return QStringLiteral("'%1' lies outside its card or the window").arg(label->text());
        return {};
    }
    // Every value of the system information card, and the time field, as
    // the next paint shows them: the layout a new text asks for runs first.
    QStringList cutOffTexts() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QStringList cut;
        for (int i = 0; i < systemInfoStackView()->count(); ++i)
            cut << cutOff(row(i, 0), systemInfoContainerView()) << cutOff(row(i, 2), systemInfoContainerView());
        cut << cutOff(scoreValueLabel(), resultsContainerView()) << cutOff(timeValueLabel(), resultsContainerView());
        cut.removeAll(QString());
        return cut;
    }
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
        View view(2400, 3230, 2064);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.size(), QSize(400, 505));
        QCOMPARE(view.startButton()->geometry(), QRect(120, 20, 160, 160));
        QVERIFY(view.startButton()->isEnabled() && !view.startButton()->isRingVisible());
        QCOMPARE(view.startButton()->title(), QStringLiteral("START"));
        QVERIFY(view.showsNoResult());
        VERIFY_COLOR(textColor(view.scoreValueLabel()), PaletteTable::textScoreLight);
        VERIFY_COLOR(textColor(view.timeValueLabel()), Palette::secondaryLabelColor());
        QImage card = view.resultsContainerView()->grab().toImage();
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), PaletteTable::cardBackgroundLight);
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 0), PaletteTable::cardBorderLight);

        useDarkPalette();
        QCOMPARE(Palette::currentAppearanceName(), QStringLiteral("Dark"));
        VERIFY_COLOR(textColor(view.scoreValueLabel()), PaletteTable::textScoreDark);
        VERIFY_COLOR(textColor(view.timeValueLabel()), QColor(235, 235, 235, 140));
        VERIFY_COLOR(textColor(view.row(0, 2)), darkText);
        card = view.systemInfoContainerView()->grab().toImage();
        VERIFY_COLOR(card.pixelColor(card.width() / 2, 4), PaletteTable::cardBackgroundDark);
        for (const char* name : {"Light", "dark", "HighContrastDark"})
            VERIFY_COLOR(Palette::textScoreColor().resolve(QString::fromLatin1(name)), PaletteTable::textScoreLight);
        QPalette even = QApplication::palette();
        even.setColor(QPalette::Window, darkText);  // as light as the text: not dark
        QCOMPARE(Palette::appearanceNameForPalette(even), QStringLiteral("Light"));
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

    // Long values wrap inside the 400-wide window, which grows to hold its
    // cards with 20 below the last, as at the sides, and never shrinks below 505.
    void valuesAreNeverCutOff_data()
    {
        QTest::addColumn<Collector>("collect");
        QTest::addColumn<int>("rows");
        for (const char* tree : {"captured_amd_epyc_debian12", "captured_intel_xeon_kvm_debian12", "intel_hybrid_i5_1235u",
                                 "intel_hybrid_i9_13900k", "amd_ryzen_7950x", "arm64_big_little_rk3399",
                                 "vm_xeon_no_cpufreq"})
            QTest::newRow(tree) << fixtureMachine(QString::fromLatin1(tree)) << 0;
        QTest::newRow("synthetic long names") << Collector(longNames) << 6;
    }
    void valuesAreNeverCutOff()
    {
        QFETCH(Collector, collect);
        QFETCH(int, rows);
        View view(collect);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.width(), 400);
        QCOMPARE(view.height(), std::max(505, view.systemInfoContainerView()->geometry().bottom() + 1 + 20));
        if (rows > 0)
            QVERIFY(view.systemInfoStackView()->count() == rows && view.height() > 505);
        const QStringList cut = view.cutOffTexts();
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
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

    // A failed series keeps "--" as the score and shows its message where
    // the time goes, wrapped, in the error colour, growing the view when it
    // needs to; the next start takes it away.
    void seriesThroughTheButton_data()
    {
        QTest::addColumn<int>("success");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("time");
        const QString run3 = QStringLiteral("Computed digits do not match pi (run 3 of 5)");
        const QString longer = run3 + QStringLiteral(" and more").repeated(23);  // 251 characters
        QTest::newRow("successful series") << 1 << "" << "12.346 sec";
        QTest::newRow("failed without a message") << 0 << "" << "The benchmark failed";
        QTest::newRow("failed with a long message") << 0 << longer << longer;
    }
    void seriesThroughTheButton()
    {
        QFETCH(int, success);
        QFETCH(QString, message);
        QFETCH(QString, time);
        FakeSeries series;
        series.held = true;
        series.ends(success, message);
        View view(longNames, series.function());
        CircularProgressButton* button = view.startButton();
        view.show();
        QApplication::setActiveWindow(&view);
        QVERIFY(QTest::qWaitForWindowActive(&view));
        const int idle = view.height();

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
        QCOMPARE(view.timeValueLabel()->text(), time);
        VERIFY_COLOR(textColor(view.scoreValueLabel()), PaletteTable::textScoreLight);
        const QColor text = QApplication::palette().color(QPalette::WindowText);
        VERIFY_COLOR(textColor(view.timeValueLabel()), success ? text : PaletteTable::textError);
        const QStringList cut = view.cutOffTexts();
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
        QCOMPARE(view.height(), view.systemInfoContainerView()->geometry().bottom() + 1 + 20);
        if (time.size() > 200)
            QVERIFY(view.height() > idle + 5 * view.timeValueLabel()->fontMetrics().height());

        // A notice, such as a cancellation, takes the secondary colour.
        view.showMessage(QStringLiteral("Cancelled"), MainViewController::MessageRole::Secondary);
        QCOMPARE(view.timeValueLabel()->text(), success ? time : QStringLiteral("Cancelled"));
        if (!success)
            VERIFY_COLOR(textColor(view.timeValueLabel()), QColor(text.red(), text.green(), text.blue(), 140));
        view.startBenchmark();  // the next start clears the result, the message and the ring
        QVERIFY(!button->isEnabled() && button->progress() == 0.0 && view.showsNoResult());
        QCOMPARE(view.height(), idle);
        QTRY_VERIFY(button->isEnabled());
    }
};

QTEST_MAIN(TestMainView)
#include "test_main_view.moc"
