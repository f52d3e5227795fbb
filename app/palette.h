// The program's named colours. Five follow the light or dark appearance and
// are resolved each time they are used; the rest are fixed.
#pragma once

#include <QColor>
#include <QString>

class QPalette;

class Palette {
public:
    Palette() = delete;

    // A colour with a light and a dark variant; only the exact dark
    // appearance name picks the dark one.
    struct DynamicColor {
        QColor light;
        QColor dark;

        QColor resolve(const QString& appearanceName) const;
        // Resolved under the application's current appearance.
        QColor resolved() const;
    };

    static const QString appearanceNameLight;
    static const QString appearanceNameDark;

    // Appearance of a palette: "Dark" when its window colour is darker than
    // its text, otherwise "Light".
    static QString appearanceNameForPalette(const QPalette& palette);
    // Appearance of the application palette right now.
    static QString currentAppearanceName();

    static DynamicColor dynamicColorWithLight(const QColor& light, const QColor& dark);

    static DynamicColor cardBackgroundColor();
    static DynamicColor cardBorderColor();
    static DynamicColor textForegroundColor();
    static DynamicColor textLabelColor();
    static DynamicColor textScoreColor();

    static QColor textErrorColor();
    static QColor buttonNormalColor();
    static QColor buttonHoveredColor();
    static QColor buttonPressedColor();
    static QColor buttonDisabledColor();
    static QColor progressBackgroundColor();
    static QColor progressActiveColor();

    // The desktop's primary and secondary text colours, which follow the
    // appearance through the application palette.
    static QColor labelColor();
    static QColor secondaryLabelColor();

    // A dark desktop theme, so that the dark appearance can be looked at
    // and tested without one (NUMERA_TEST_DARK_PALETTE=1).
    static QPalette darkDesktopPalette();
};
