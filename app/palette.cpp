#include "palette.h"

#include <QGuiApplication>
#include <QPalette>

const QString Palette::appearanceNameLight = QStringLiteral("Light");
const QString Palette::appearanceNameDark = QStringLiteral("Dark");

QColor Palette::DynamicColor::resolve(const QString& appearanceName) const
{
    return appearanceName == appearanceNameDark ? dark : light;
}

QColor Palette::DynamicColor::resolved() const
{
    return resolve(currentAppearanceName());
}

QString Palette::appearanceNameForPalette(const QPalette& palette)
{
    // Qt 6.4 has no colour-scheme hint; a dark desktop shows up as light text
    // on a dark window.
    const int window = palette.color(QPalette::Active, QPalette::Window).lightness();
    const int text = palette.color(QPalette::Active, QPalette::WindowText).lightness();
    return window < text ? appearanceNameDark : appearanceNameLight;
}

QString Palette::currentAppearanceName()
{
    return appearanceNameForPalette(QGuiApplication::palette());
}

Palette::DynamicColor Palette::dynamicColorWithLight(const QColor& light, const QColor& dark)
{
    return DynamicColor{light, dark};
}

Palette::DynamicColor Palette::cardBackgroundColor()
{
    return dynamicColorWithLight(QColor::fromRgbF(0.827f, 0.827f, 0.827f, 1.0f),
                                 QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f));
}

Palette::DynamicColor Palette::cardBorderColor()
{
    return dynamicColorWithLight(QColor::fromRgbF(0.659f, 0.659f, 0.659f, 1.0f),
                                 QColor::fromRgbF(0.4f, 0.4f, 0.4f, 1.0f));
}

Palette::DynamicColor Palette::textForegroundColor()
{
    return dynamicColorWithLight(QColor::fromRgbF(0.0f, 0.0f, 0.0f, 1.0f), QColor(Qt::white));
}

Palette::DynamicColor Palette::textLabelColor()
{
    return dynamicColorWithLight(QColor::fromRgbF(0.502f, 0.502f, 0.502f, 1.0f),
                                 QColor::fromRgbF(0.7f, 0.7f, 0.7f, 1.0f));
}

Palette::DynamicColor Palette::textScoreColor()
{
    return dynamicColorWithLight(QColor::fromRgbF(0.0f, 0.0f, 0.502f, 1.0f),
                                 QColor::fromRgbF(0.4f, 0.6f, 1.0f, 1.0f));
}

QColor Palette::textErrorColor()
{
    return QColor::fromRgbF(1.0f, 0.392f, 0.392f, 1.0f);
}

QColor Palette::buttonNormalColor()
{
    return QColor::fromRgbF(0.259f, 0.529f, 0.961f, 1.0f);
}

QColor Palette::buttonHoveredColor()
{
    return QColor::fromRgbF(0.314f, 0.588f, 0.902f, 1.0f);
}

QColor Palette::buttonPressedColor()
{
    return QColor::fromRgbF(0.176f, 0.471f, 0.824f, 1.0f);
}

QColor Palette::buttonDisabledColor()
{
    return QColor::fromRgbF(0.588f, 0.588f, 0.588f, 1.0f);
}

QColor Palette::progressBackgroundColor()
{
    return QColor::fromRgbF(0.8f, 0.8f, 0.8f, 1.0f);
}

QColor Palette::progressActiveColor()
{
    return QColor::fromRgbF(0.298f, 0.686f, 0.314f, 1.0f);
}

QColor Palette::labelColor()
{
    return QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

QColor Palette::secondaryLabelColor()
{
    QColor color = labelColor();
    color.setAlphaF(0.55f);
    return color;
}

QPalette Palette::darkDesktopPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(45, 45, 45));
    palette.setColor(QPalette::WindowText, QColor(230, 230, 230));
    palette.setColor(QPalette::Base, QColor(30, 30, 30));
    palette.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    palette.setColor(QPalette::Text, QColor(230, 230, 230));
    palette.setColor(QPalette::Button, QColor(60, 60, 60));
    palette.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    palette.setColor(QPalette::Highlight, QColor(66, 135, 245));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(60, 60, 60));
    palette.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    palette.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    palette.setColor(QPalette::Link, QColor(102, 153, 255));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
    return palette;
}
