// Fonts and text colours of the main window and the runner windows:
// "Menlo" for figures, "Verdana" for names, with DejaVu where those are
// missing.
#pragma once

#include <QColor>
#include <QFont>

class QLabel;

class TextStyle {
public:
    TextStyle() = delete;

    static QFont menlo(int pixelSize);
    static QFont verdana(int pixelSize);
    // Sets only the label's text colour; everything else keeps following
    // the application palette.
    static void setTextColor(QLabel* label, const QColor& color);
    static QColor textColor(const QLabel* label);
};
