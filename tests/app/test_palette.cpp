#include <QApplication>
#include <QPalette>
#include <QTest>

#include "palette.h"
#include "test_support.h"

class TestPalette : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QApplication::setPalette(QPalette()); }

    void appearanceFromDesktopPalette_data();
    void appearanceFromDesktopPalette();
    void onlyTheExactDarkNameIsDark_data();
    void onlyTheExactDarkNameIsDark();
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
    // What the score and the cards show under that appearance.
    const bool dark = appearance == "Dark";
    VERIFY_COLOR(Palette::textScoreColor().resolved(),
                 dark ? QColor::fromRgbF(0.4f, 0.6f, 1.0f) : QColor::fromRgbF(0.0f, 0.0f, 0.502f));
    VERIFY_COLOR(Palette::cardBackgroundColor().resolved(),
                 dark ? QColor::fromRgbF(0.2f, 0.2f, 0.2f) : QColor::fromRgbF(0.827f, 0.827f, 0.827f));
    VERIFY_COLOR(Palette::cardBorderColor().resolved(),
                 dark ? QColor::fromRgbF(0.4f, 0.4f, 0.4f) : QColor::fromRgbF(0.659f, 0.659f, 0.659f));
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

int runPaletteTests(int argc, char** argv)
{
    TestPalette test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_palette.moc"
