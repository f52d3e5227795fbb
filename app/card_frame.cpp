#include "card_frame.h"

#include <QPainter>

#include "palette.h"

CardFrame::CardFrame(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void CardFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The border lies inside the bounds, as a box's border does.
    const double inset = borderWidth * 0.5;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    painter.setPen(QPen(Palette::cardBorderColor().resolved(), borderWidth));
    painter.setBrush(Palette::cardBackgroundColor().resolved());
    painter.drawRoundedRect(box, cornerRadius - inset, cornerRadius - inset);
}
