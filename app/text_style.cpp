#include "text_style.h"

#include <QLabel>

namespace {

QFont namedFont(const QString& name, const QString& fallback, int pixelSize)
{
    QFont font;
    font.setFamilies({name, fallback});
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace

QFont TextStyle::menlo(int pixelSize)
{
    return namedFont(QStringLiteral("Menlo"), QStringLiteral("DejaVu Sans Mono"), pixelSize);
}

QFont TextStyle::verdana(int pixelSize)
{
    return namedFont(QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"), pixelSize);
}

void TextStyle::setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette;
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QColor TextStyle::textColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}
