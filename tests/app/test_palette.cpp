#include <QApplication>
#include <QPalette>
#include <QTest>

#include "palette.h"
#include "test_support.h"

Q_DECLARE_METATYPE(Palette::DynamicColor)

class TestPalette : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QApplication::setPalette(QPalette()); }

    void appearanceFromDesktopPalette_data();
    void appearanceFromDesktopPalette();
    void dynamicColors_data();
    void dynamicColors();
    void onlyTheExactDarkNameIsDark_data();
    void onlyTheExactDarkNameIsDark();
    void buttonAndRingColorsAreFixed();
};

void TestPalette::appearanceFromDesktopPalette_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QString>("appearance");
    QTest::newRow("light desktop") << QColor(239, 239, 239) << QColor(0, 0, 0) << "Light";
    QTest::newRow("dark desktop") << QColor(45, 45, 45) << QColor(230, 230, 230) << "Dark";
    QTest::newRow("grey on grey, text darker") << QColor(128, 128, 128) << QColor(100, 100, 100) << "Light";
    QTest::newRow("equal lightness") << QColor(128, 128, 128) << QColor(128, 128, 128) << "Light";
}

void TestPalette::appearanceFromDesktopPalette()
{
    QFETCH(QColor, window);
    QFETCH(QColor, text);
    QFETCH(QString, appearance);
    QPalette desktop;
    desktop.setColor(QPalette::Window, window);
    desktop.setColor(QPalette::WindowText, text);
    QCOMPARE(Palette::appearanceNameForPalette(desktop), appearance);

    // The same rule applies to the application palette, resolved at use.
    QApplication::setPalette(desktop);
    QCOMPARE(Palette::currentAppearanceName(), appearance);
    const auto score = Palette::textScoreColor();
    QCOMPARE(score.resolved(), appearance == "Dark" ? score.dark : score.light);
}

void TestPalette::dynamicColors_data()
{
    QTest::addColumn<Palette::DynamicColor>("color");
    QTest::addColumn<QColor>("light");
    QTest::addColumn<QColor>("dark");
    QTest::newRow("card background") << Palette::cardBackgroundColor()
                                     << QColor::fromRgbF(0.827f, 0.827f, 0.827f)
                                     << QColor::fromRgbF(0.2f, 0.2f, 0.2f);
    QTest::newRow("card border") << Palette::cardBorderColor() << QColor::fromRgbF(0.659f, 0.659f, 0.659f)
                                 << QColor::fromRgbF(0.4f, 0.4f, 0.4f);
    QTest::newRow("text foreground") << Palette::textForegroundColor() << QColor(0, 0, 0)
                                     << QColor(255, 255, 255);
    QTest::newRow("text label") << Palette::textLabelColor() << QColor::fromRgbF(0.502f, 0.502f, 0.502f)
                                << QColor::fromRgbF(0.7f, 0.7f, 0.7f);
    QTest::newRow("score: dark blue on light, light blue on dark")
        << Palette::textScoreColor() << QColor::fromRgbF(0.0f, 0.0f, 0.502f)
        << QColor::fromRgbF(0.4f, 0.6f, 1.0f);
}

void TestPalette::dynamicColors()
{
    QFETCH(Palette::DynamicColor, color);
    QFETCH(QColor, light);
    QFETCH(QColor, dark);
    VERIFY_COLOR(color.resolve(Palette::appearanceNameLight), light);
    VERIFY_COLOR(color.resolve(Palette::appearanceNameDark), dark);
}

void TestPalette::onlyTheExactDarkNameIsDark_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("dark");
    QTest::newRow("Dark") << "Dark" << true;
    QTest::newRow("Light") << "Light" << false;
    QTest::newRow("lower-case dark") << "dark" << false;
    QTest::newRow("high-contrast dark") << "HighContrastDark" << false;
    QTest::newRow("empty") << "" << false;
}

void TestPalette::onlyTheExactDarkNameIsDark()
{
    QFETCH(QString, name);
    QFETCH(bool, dark);
    const auto card = Palette::cardBackgroundColor();
    QCOMPARE(card.resolve(name), dark ? card.dark : card.light);
}

void TestPalette::buttonAndRingColorsAreFixed()
{
    // These must not move with the desktop theme.
    const QColor before[] = {Palette::buttonNormalColor(), Palette::buttonDisabledColor(),
                             Palette::progressActiveColor(), Palette::progressBackgroundColor()};
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(240, 240, 240));
    QApplication::setPalette(dark);
    const QColor after[] = {Palette::buttonNormalColor(), Palette::buttonDisabledColor(),
                            Palette::progressActiveColor(), Palette::progressBackgroundColor()};
    for (size_t i = 0; i < std::size(before); ++i)
        QCOMPARE(after[i], before[i]);
    VERIFY_COLOR(Palette::buttonNormalColor(), QColor::fromRgbF(0.259f, 0.529f, 0.961f));
}

int runPaletteTests(int argc, char** argv)
{
    TestPalette test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_palette.moc"
