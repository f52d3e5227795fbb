// Helpers shared by the app's test groups.
#pragma once

#include <cstdlib>

#include <QColor>
#include <QImage>
#include <QString>

// Colours painted into an 8-bit image are compared with a small tolerance.
inline bool colorsNear(const QColor& a, const QColor& b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

inline QString describe(const QColor& c)
{
    return QStringLiteral("(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

#define VERIFY_COLOR(actual, expected)                                                             \
    QVERIFY2(colorsNear((actual), (expected)),                                                     \
             qPrintable(QStringLiteral("got %1, want %2").arg(describe(actual), describe(expected))))

int runPaletteTests(int argc, char** argv);
int runButtonTests(int argc, char** argv);
int runCoordinatorTests(int argc, char** argv);
int runAboutTests(int argc, char** argv);
int runMainViewTests(int argc, char** argv);
int runShellTests(int argc, char** argv);
