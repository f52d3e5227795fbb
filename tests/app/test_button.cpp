#include <cmath>

#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>

#include "circular_progress_button.h"
#include "test_support.h"

namespace {

// The pixel at a distance from the centre and a clock angle (clockwise from 12).
QColor pixelAt(const QImage& image, QPointF c, double radius, double clockDegrees)
{
    const double a = clockDegrees * M_PI / 180.0;
    return image.pixelColor(QPointF(c.x() + radius * std::sin(a), c.y() - radius * std::cos(a)).toPoint());
}

void cross(QWidget* widget, bool enter)
{
    QEnterEvent entering(QPointF(80, 80), QPointF(80, 80), widget->mapToGlobal(QPointF(80, 80)));
    QEvent leaving(QEvent::Leave);
    QApplication::sendEvent(widget, enter ? static_cast<QEvent*>(&entering) : &leaving);
}

// The disc colour once its animation has run out; it may start at the very
// colour it is heading away from.
QColor settledColor(const CircularProgressButton* button)
{
    QTest::qWait(3 * CircularProgressButton::animationMilliseconds);
    return button->buttonColor();
}

}  // namespace

class TestButton : public QObject {
    Q_OBJECT
    QWidget* window = nullptr;  // disabling a top-level button would deactivate its window
    CircularProgressButton* button = nullptr;

private slots:
    void init()
    {
        window = new QWidget;
        window->resize(300, 300);
        button = new CircularProgressButton(QRect(0, 0, 160, 160), window);
        button->setTitle(QStringLiteral("START"));
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        cross(button, false);  // showing under the pointer may have hovered it
        QTRY_VERIFY(colorsNear(button->buttonColor(), PaletteTable::buttonNormal, 0));
    }
    void cleanup() { delete window; }

    void ringPixels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("progress");
        // On the ring at 1:30, 4:30, 7:30 and 10:30: 'a' arc, 't' track, '-' neither (enabled).
        QTest::addColumn<QString>("ring");
        QTest::newRow("enabled hides the ring") << QSize(160, 160) << 0.6 << "----";
        QTest::newRow("0") << QSize(160, 160) << 0.0 << "tttt";
        QTest::newRow("wide: the shorter side sets the size") << QSize(240, 160) << 1.0 << "aaaa";
        QTest::newRow("tall, 0.25: 12 to 3 o'clock") << QSize(100, 200) << 0.25 << "attt";
    }
    void ringPixels()
    {
        QFETCH(QSize, size);
        QFETCH(double, progress);
        QFETCH(QString, ring);
        const bool enabled = ring == "----";
        const QColor disc = enabled ? PaletteTable::buttonNormal : PaletteTable::buttonDisabled;
        button->resize(size);
        button->setEnabled(enabled);
        button->setProgress(progress);
        QTRY_COMPARE(button->strokeEnd(), progress);
        QTRY_VERIFY(colorsNear(button->buttonColor(), disc, 0));
        QCOMPARE(button->isRingVisible(), !enabled);

        // Disc of radius m - 11, a 2-pixel gap, then the ring 9 wide around m - 4.5.
        const QImage image = button->grab().toImage();
        const double m = std::min(size.width(), size.height()) * 0.5;
        const QPointF c(size.width() * 0.5, size.height() * 0.5);
        for (int i = 0; i < 4; ++i) {
            const QColor pixel = pixelAt(image, c, m - 4.5, 45 + 90 * i);
            const QColor want = ring[i] == 'a' ? PaletteTable::progressActive : PaletteTable::progressBackground;
            QVERIFY2(ring[i] == '-' ? !colorsNear(pixel, want, 20) : colorsNear(pixel, want), qPrintable(describe(pixel)));
        }
        for (double clock : {0.0, 180.0}) {
            VERIFY_COLOR(pixelAt(image, c, m - 14.0, clock), disc);
            const QColor gap = pixelAt(image, c, m - 10.0, clock);
            QVERIFY(!colorsNear(gap, disc, 30) && !colorsNear(gap, PaletteTable::progressActive, 30));
        }
        if (size.width() > size.height())
            QVERIFY(!colorsNear(pixelAt(image, c, m + 3.0, 90), PaletteTable::progressActive, 30));
    }

    void progressIsClamped()
    {
        const std::pair<double, double> cases[] = {{1.5, 1.0}, {-0.2, 0.0}, {-0.0, 0.0}, {std::nan(""), 0.0}};
        for (const auto& [input, stored] : cases) {
            button->setProgress(0.5);
            button->setProgress(input);
            QCOMPARE(button->progress(), stored);
            QVERIFY(!std::signbit(button->progress()));
            QTRY_COMPARE(button->strokeEnd(), stored);
        }
    }

    // Steps: p press, r release inside, c release in a corner outside the disc,
    // o release outside, P/R right press/release, d/E disable/enable, e enter,
    // l leave, a another window becomes the active one.
    void clicksAndDiscColours_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QColor>("disc");
        const QColor normal = PaletteTable::buttonNormal, disabled = PaletteTable::buttonDisabled;
        QTest::newRow("press and release inside") << "pr" << 1 << normal;
        QTest::newRow("release in a corner") << "pc" << 1 << normal;
        QTest::newRow("release outside cancels") << "po" << 0 << normal;
        QTest::newRow("press while disabled") << "dpr" << 0 << disabled;
        QTest::newRow("disabled after the press still clicks") << "pdr" << 1 << disabled;
        QTest::newRow("right button") << "PR" << 0 << normal;
        QTest::newRow("leaving ends a press") << "eplr" << 0 << normal;
        QTest::newRow("hovered") << "e" << 0 << PaletteTable::buttonHovered;
        QTest::newRow("pressed wins over hovered") << "ep" << 0 << PaletteTable::buttonPressed;
        QTest::newRow("disabled wins over hovered") << "ed" << 0 << disabled;
        QTest::newRow("no hover while disabled") << "deE" << 0 << normal;
        QTest::newRow("no hover while the window is inactive") << "ae" << 0 << normal;
    }
    void clicksAndDiscColours()
    {
        QFETCH(QString, steps);
        QFETCH(int, clicks);
        QFETCH(QColor, disc);
        int handled = 0;
        QSignalSpy spy(button, &CircularProgressButton::clicked);
        button->setOnClick([&] { QCOMPARE(spy.count(), ++handled); });  // the signal comes first
        QWidget other;
        for (const QChar step : steps) {
            const Qt::MouseButton which = step.isUpper() ? Qt::RightButton : Qt::LeftButton;
            const QPoint at = step == 'c' ? QPoint(2, 157) : step == 'o' ? QPoint(175, 80) : QPoint(80, 80);
            if (step.toLower() == 'p')
                QTest::mousePress(button, which, {}, at);
            else if (QStringLiteral("rRco").contains(step))
                QTest::mouseRelease(button, which, {}, at);
            else if (step.toLower() == 'd' || step == 'E')
                button->setEnabled(step == 'E');
            else if (step == 'a') {
                other.show();
                QApplication::setActiveWindow(&other);
                QVERIFY(QTest::qWaitForWindowActive(&other));
            } else
                cross(button, step == 'e');
        }
        QCOMPARE(spy.count(), clicks);
        QCOMPARE(handled, clicks);
        QCOMPARE(button->isPressed(), steps.endsWith('p'));
        VERIFY_COLOR(settledColor(button), disc);
        VERIFY_COLOR(button->grab().toImage().pixelColor(80, 30), disc);
    }
};

QTEST_MAIN(TestButton)
#include "test_button.moc"
