#include <cmath>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "circular_progress_button.h"
#include "palette.h"
#include "test_support.h"

namespace {

// A point on the ring, at a clock angle measured clockwise from 12 o'clock.
QPoint ringPoint(const CircularProgressButton& button, double clockDegrees)
{
    const double a = clockDegrees * M_PI / 180.0;
    const double r = button.ringRadius();
    return QPointF(button.center().x() + r * std::sin(a), button.center().y() - r * std::cos(a))
        .toPoint();
}

// Inside the disc, above the title.
QPoint discPoint(const CircularProgressButton& button)
{
    return QPointF(button.center().x(), button.center().y() - button.discRadius() * 0.75).toPoint();
}

void settle(CircularProgressButton& button, double strokeEnd, const QColor& color)
{
    QTRY_COMPARE(button.strokeEnd(), strokeEnd);
    QTRY_VERIFY(colorsNear(button.buttonColor(), color, 0));
}

void sendEnter(QWidget* widget)
{
    QEnterEvent enter(QPointF(80, 80), QPointF(80, 80), widget->mapToGlobal(QPointF(80, 80)));
    QApplication::sendEvent(widget, &enter);
}

void sendLeave(QWidget* widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
}

}  // namespace

class TestButton : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ringPixels_data();
    void ringPixels();
    void discColorByState_data();
    void discColorByState();
    void geometryFollowsTheShorterSide_data();
    void geometryFollowsTheShorterSide();
    void progressIsClamped_data();
    void progressIsClamped();
    void clicks_data();
    void clicks();
    void hoverIgnoredWhileDisabled();
    void hoverIgnoredWhileWindowInactive();
    void leavingEndsAPress();
    void emptyTitle();

private:
    CircularProgressButton* button = nullptr;
};

void TestButton::init()
{
    button = new CircularProgressButton(QRect(0, 0, 160, 160));
    button->setTitle(QStringLiteral("START"));
    button->show();
    QApplication::setActiveWindow(button);
    QVERIFY(QTest::qWaitForWindowActive(button));
    // Showing under the pointer may have hovered it; start from idle.
    sendLeave(button);
    QVERIFY(!button->isHovered());
    QTRY_VERIFY(colorsNear(button->buttonColor(), Palette::buttonNormalColor(), 0));
}

void TestButton::cleanup()
{
    delete button;
    button = nullptr;
}

void TestButton::ringPixels_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<double>("progress");
    // Expected pixel at 1:30, 4:30, 7:30 and 10:30 on the ring: 'a' arc,
    // 't' track, '-' neither.
    QTest::addColumn<QString>("ring");
    QTest::newRow("enabled hides the ring") << true << 0.6 << "----";
    QTest::newRow("disabled, 0") << false << 0.0 << "tttt";
    QTest::newRow("disabled, 0.25: 12 to 3 o'clock") << false << 0.25 << "attt";
    QTest::newRow("disabled, 0.6") << false << 0.6 << "aatt";
    QTest::newRow("disabled, 1") << false << 1.0 << "aaaa";
}

void TestButton::ringPixels()
{
    QFETCH(bool, enabled);
    QFETCH(double, progress);
    QFETCH(QString, ring);
    button->setEnabled(enabled);
    button->setProgress(progress);
    settle(*button, progress, enabled ? Palette::buttonNormalColor() : Palette::buttonDisabledColor());
    QCOMPARE(button->isRingVisible(), !enabled);

    const QImage image = button->grab().toImage();
    const double clock[] = {45, 135, 225, 315};
    for (int i = 0; i < 4; ++i) {
        const QColor pixel = image.pixelColor(ringPoint(*button, clock[i]));
        const QString where = QStringLiteral("at %1 degrees").arg(clock[i]);
        switch (ring[i].toLatin1()) {
        case 'a':
            QVERIFY2(colorsNear(pixel, Palette::progressActiveColor()), qPrintable(where + describe(pixel)));
            break;
        case 't':
            QVERIFY2(colorsNear(pixel, Palette::progressBackgroundColor()), qPrintable(where + describe(pixel)));
            break;
        default:
            QVERIFY2(!colorsNear(pixel, Palette::progressActiveColor(), 20) &&
                         !colorsNear(pixel, Palette::progressBackgroundColor(), 20),
                     qPrintable(where + describe(pixel)));
        }
    }
    // The gap between disc and ring stays clear.
    const QPointF gap(button->center().x(), button->center().y() - button->discRadius() - 1.0);
    const QColor gapPixel = image.pixelColor(gap.toPoint());
    QVERIFY(!colorsNear(gapPixel, Palette::progressActiveColor(), 20));
    QVERIFY(!colorsNear(gapPixel, Palette::buttonDisabledColor(), 20));
}

void TestButton::discColorByState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QColor>("disc");
    QTest::newRow("idle") << "idle" << Palette::buttonNormalColor();
    QTest::newRow("hovered") << "hovered" << Palette::buttonHoveredColor();
    QTest::newRow("pressed") << "pressed" << Palette::buttonPressedColor();
    QTest::newRow("pressed wins over hovered") << "hovered+pressed" << Palette::buttonPressedColor();
    QTest::newRow("disabled wins over hovered") << "hovered+disabled" << Palette::buttonDisabledColor();
}

void TestButton::discColorByState()
{
    QFETCH(QString, state);
    QFETCH(QColor, disc);
    if (state.contains("hovered"))
        sendEnter(button);
    if (state.contains("pressed"))
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(80, 80));
    if (state.contains("disabled"))
        button->setEnabled(false);
    QTRY_VERIFY(colorsNear(button->buttonColor(), disc, 0));
    VERIFY_COLOR(button->grab().toImage().pixelColor(discPoint(*button)), disc);
    if (state.contains("pressed"))
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(80, 80));
}

void TestButton::geometryFollowsTheShorterSide_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("160 x 160") << QSize(160, 160);
    QTest::newRow("wide 240 x 160") << QSize(240, 160);
    QTest::newRow("tall 100 x 200") << QSize(100, 200);
}

void TestButton::geometryFollowsTheShorterSide()
{
    QFETCH(QSize, size);
    button->resize(size);
    button->setEnabled(false);
    button->setProgress(1.0);
    settle(*button, 1.0, Palette::buttonDisabledColor());
    const QImage image = button->grab().toImage();
    const double m = std::min(size.width(), size.height()) * 0.5;
    const QPointF c(size.width() * 0.5, size.height() * 0.5);

    // Along the horizontal through the centre: disc to radius m - 11, gap,
    // ring from m - 9 to m, then nothing.
    auto at = [&](double dx) { return image.pixelColor(QPointF(c.x() + dx, c.y()).toPoint()); };
    VERIFY_COLOR(at(m - 12.5), Palette::buttonDisabledColor());
    VERIFY_COLOR(at(-(m - 12.5)), Palette::buttonDisabledColor());
    VERIFY_COLOR(at(m - 4.5), Palette::progressActiveColor());
    VERIFY_COLOR(at(-(m - 4.5)), Palette::progressActiveColor());
    QVERIFY(!colorsNear(at(m - 10.0), Palette::buttonDisabledColor(), 30));
    if (size.width() > size.height())
        QVERIFY(!colorsNear(at(m + 3.0), Palette::progressActiveColor(), 30));
    QCOMPARE(button->discRadius(), m - 11.0);
    QCOMPARE(button->ringRadius(), m - 4.5);
}

void TestButton::progressIsClamped_data()
{
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("stored");
    QTest::newRow("1.5") << 1.5 << 1.0;
    QTest::newRow("-0.2") << -0.2 << 0.0;
    QTest::newRow("-0") << -0.0 << 0.0;
    QTest::newRow("NaN") << std::nan("") << 0.0;
    QTest::newRow("-infinity") << -HUGE_VAL << 0.0;
    QTest::newRow("0.25") << 0.25 << 0.25;
}

void TestButton::progressIsClamped()
{
    QFETCH(double, input);
    QFETCH(double, stored);
    button->setEnabled(false);
    button->setProgress(0.5);
    button->setProgress(input);
    QCOMPARE(button->progress(), stored);
    QVERIFY(!std::signbit(button->progress()));
    settle(*button, stored, Palette::buttonDisabledColor());

    const QColor top = button->grab().toImage().pixelColor(ringPoint(*button, 30));
    VERIFY_COLOR(top, stored > 0.1 ? Palette::progressActiveColor() : Palette::progressBackgroundColor());
}

void TestButton::clicks_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<int>("clicks");
    QTest::newRow("press and release inside") << "press release" << 1;
    QTest::newRow("release in the corner, outside the disc") << "press release-corner" << 1;
    QTest::newRow("release outside cancels") << "press release-outside" << 0;
    QTest::newRow("press while disabled") << "disable press release" << 0;
    QTest::newRow("disabled after the press still clicks") << "press disable release" << 1;
    QTest::newRow("right button") << "right-press right-release" << 0;
    QTest::newRow("release without press") << "release" << 0;
    QTest::newRow("double click") << "press release press release" << 2;
}

void TestButton::clicks()
{
    QFETCH(QString, sequence);
    QFETCH(int, clicks);
    int handled = 0;
    bool signalBeforeHandler = true;
    QSignalSpy spy(button, &CircularProgressButton::clicked);
    button->setOnClick([&] {
        ++handled;
        signalBeforeHandler = signalBeforeHandler && spy.count() == handled;
    });

    for (const QString& step : sequence.split(' ')) {
        if (step == "press")
            QTest::mousePress(button, Qt::LeftButton, {}, QPoint(80, 80));
        else if (step == "release")
            QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(80, 80));
        else if (step == "release-corner")
            QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(2, 157));
        else if (step == "release-outside")
            QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(175, 80));
        else if (step == "right-press")
            QTest::mousePress(button, Qt::RightButton, {}, QPoint(80, 80));
        else if (step == "right-release")
            QTest::mouseRelease(button, Qt::RightButton, {}, QPoint(80, 80));
        else if (step == "disable")
            button->setEnabled(false);
    }
    QCOMPARE(spy.count(), clicks);
    QCOMPARE(handled, clicks);
    QVERIFY(signalBeforeHandler);
    QVERIFY(!button->isPressed());
    const QColor expected =
        button->isEnabled() ? Palette::buttonNormalColor() : Palette::buttonDisabledColor();
    QTRY_VERIFY(colorsNear(button->buttonColor(), expected, 0));
}

void TestButton::hoverIgnoredWhileDisabled()
{
    button->setEnabled(false);
    sendEnter(button);
    QVERIFY(!button->isHovered());
    button->setEnabled(true);
    QTRY_VERIFY(colorsNear(button->buttonColor(), Palette::buttonNormalColor(), 0));

    // Hovered while enabled, then disabled and enabled again: still hovered.
    sendLeave(button);
    sendEnter(button);
    QVERIFY(button->isHovered());
    button->setEnabled(false);
    QTRY_VERIFY(colorsNear(button->buttonColor(), Palette::buttonDisabledColor(), 0));
    button->setEnabled(true);
    QTRY_VERIFY(colorsNear(button->buttonColor(), Palette::buttonHoveredColor(), 0));
}

void TestButton::hoverIgnoredWhileWindowInactive()
{
    QWidget other;
    other.resize(50, 50);
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!button->isActiveWindow());
    sendEnter(button);
    QVERIFY(!button->isHovered());
}

void TestButton::leavingEndsAPress()
{
    QSignalSpy spy(button, &CircularProgressButton::clicked);
    sendEnter(button);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(80, 80));
    QVERIFY(button->isPressed());
    sendLeave(button);
    QVERIFY(!button->isPressed());
    QVERIFY(!button->isHovered());
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(80, 80));
    QCOMPARE(spy.count(), 0);
}

void TestButton::emptyTitle()
{
    button->setTitle(QString());
    QCOMPARE(button->titleLabel()->text(), QString());
    button->setTitle(QStringLiteral("GO"));
    // Centred again right away.
    const QRect label = button->titleLabel()->geometry();
    QVERIFY(std::abs(label.center().x() - 80) <= 1);
    QVERIFY(std::abs(label.center().y() - 80) <= 1);
}

int runButtonTests(int argc, char** argv)
{
    TestButton test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_button.moc"
