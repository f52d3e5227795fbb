#include "circular_progress_button.h"

#include <algorithm>
#include <cmath>

#include <QAccessible>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include "circular_progress_button_accessible.h"
#include "palette.h"

CircularProgressButton::CircularProgressButton(QWidget* parent)
    : QWidget(parent)
{
    commonInit();
}

CircularProgressButton::CircularProgressButton(const QRect& frame, QWidget* parent)
    : QWidget(parent)
{
    setGeometry(frame);
    commonInit();
}

QColor CircularProgressButton::normalButtonColor()
{
    return Palette::buttonNormalColor();
}

void CircularProgressButton::commonInit()
{
    // Once per process, before any interface of ours is asked for.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(CircularProgressButtonAccessible::create);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    progress_ = 0.0;
    isHovered_ = false;
    isPressed_ = false;

    shownButtonColor_ = normalButtonColor();
    shownStrokeEnd_ = 0.0;
    ringVisible_ = false;

    // Property changes glide over 100 ms instead of jumping.
    colorAnimation_ = new QVariantAnimation(this);
    colorAnimation_->setDuration(animationMilliseconds);
    connect(colorAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownButtonColor_ = value.value<QColor>();
        update();
    });
    strokeEndAnimation_ = new QVariantAnimation(this);
    strokeEndAnimation_->setDuration(animationMilliseconds);
    connect(strokeEndAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownStrokeEnd_ = value.toDouble();
        update();
    });

    titleLabel_ = new QLabel(this);
    titleLabel_->setGeometry(rect());
    titleLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    titleLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    titleLabel_->setAlignment(Qt::AlignCenter);
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(24);
    titleLabel_->setFont(font);
    QPalette labelPalette = titleLabel_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        labelPalette.setColor(group, QPalette::WindowText, Qt::white);
    titleLabel_->setPalette(labelPalette);

    setMouseTracking(false);
    layoutGeometry();
}

void CircularProgressButton::setTitle(const QString& title)
{
    const bool changed = title != title_;
    title_ = title;
    titleLabel_->setText(title_);
    centerTitle();
    // The title is our accessible name unless one was set.
    if (changed && accessibleName().isEmpty()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void CircularProgressButton::setProgress(double progress)
{
    // NaN fails both comparisons and ends at 0; -0 becomes +0 via the max.
    double value = progress > 1.0 ? 1.0 : progress;
    value = (value > 0.0) ? value : 0.0;
    const int shownPercent = CircularProgressButtonAccessible::percent(progress_);
    progress_ = value;
    // Readers hear whole percents; a repeat of the same one is not news.
    if (const int percent = CircularProgressButtonAccessible::percent(progress_); percent != shownPercent) {
        QAccessibleValueChangeEvent event(this, percent);
        QAccessible::updateAccessibility(&event);
    }

    strokeEndAnimation_->stop();
    strokeEndAnimation_->setStartValue(shownStrokeEnd_);
    strokeEndAnimation_->setEndValue(progress_);
    strokeEndAnimation_->start();
}

void CircularProgressButton::click()
{
    if (!isEnabled())
        return;
    emit clicked();
    if (onClick_)
        onClick_();
}

void CircularProgressButton::updateButtonColor()
{
    QColor target;
    if (!isEnabled())
        target = Palette::buttonDisabledColor();
    else if (isPressed_)
        target = Palette::buttonPressedColor();
    else if (isHovered_)
        target = Palette::buttonHoveredColor();
    else
        target = normalButtonColor();

    colorAnimation_->stop();
    colorAnimation_->setStartValue(shownButtonColor_);
    colorAnimation_->setEndValue(target);
    colorAnimation_->start();
}

void CircularProgressButton::layoutGeometry()
{
    const double w = width();
    const double h = height();
    center_ = QPointF(w * 0.5, h * 0.5);
    const double m = std::min(w, h) * 0.5;
    discRadius_ = m - lineWidth - ringGap;
    ringRadius_ = discRadius_ + lineWidth * 0.5 + ringGap;
    centerTitle();
}

void CircularProgressButton::centerTitle()
{
    titleLabel_->adjustSize();
    const QSize size = titleLabel_->size();
    titleLabel_->move(static_cast<int>(std::lround(width() * 0.5 - size.width() * 0.5)),
                      static_cast<int>(std::lround(height() * 0.5 - size.height() * 0.5)));
}

bool CircularProgressButton::isTrackingActive() const
{
    // Hover is reported only while our window is the active one.
    return window()->isActiveWindow();
}

void CircularProgressButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutGeometry();
}

void CircularProgressButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setPen(Qt::NoPen);
    painter.setBrush(shownButtonColor_);
    painter.drawEllipse(center_, discRadius_, discRadius_);

    if (!ringVisible_)
        return;

    const QRectF ringRect(center_.x() - ringRadius_, center_.y() - ringRadius_, 2 * ringRadius_,
                          2 * ringRadius_);
    QPen track(Palette::progressBackgroundColor(), lineWidth, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(track);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(ringRect);

    if (shownStrokeEnd_ <= 0.0)
        return;
    // From 12 o'clock clockwise; Qt counts positive angles counter-clockwise.
    QPainterPath arc;
    arc.arcMoveTo(ringRect, 90.0);
    arc.arcTo(ringRect, 90.0, -360.0 * std::min(shownStrokeEnd_, 1.0));
    QPen active(Palette::progressActiveColor(), lineWidth, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(active);
    painter.drawPath(arc);
}

void CircularProgressButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        updateButtonColor();
        // The ring belongs to a running series, during which we are disabled.
        ringVisible_ = !isEnabled();
        update();
    }
}

bool CircularProgressButton::event(QEvent* event)
{
    // Handled before QWidget::event, which drops mouse events of a disabled
    // widget: a release must still end a press that began while enabled.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        mouseDown(*static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        mouseUp(*static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        event->accept();
        return true;
    case QEvent::Enter:
        mouseEntered();
        return true;
    case QEvent::Leave:
        mouseExited();
        return true;
    default:
        return QWidget::event(event);
    }
}

void CircularProgressButton::mouseDown(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || !isEnabled())
        return;
    isPressed_ = true;
    updateButtonColor();
}

void CircularProgressButton::mouseUp(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || !isPressed_)
        return;
    isPressed_ = false;
    updateButtonColor();
    // The whole bounds square counts, corners outside the disc included.
    const QPointF at = event.position();
    if (at.x() < 0.0 || at.y() < 0.0 || at.x() >= width() || at.y() >= height())
        return;
    emit clicked();
    if (onClick_)
        onClick_();
}

void CircularProgressButton::mouseEntered()
{
    if (!isTrackingActive() || !isEnabled())
        return;
    isHovered_ = true;
    updateButtonColor();
}

void CircularProgressButton::mouseExited()
{
    if (!isTrackingActive())
        return;
    isHovered_ = false;
    isPressed_ = false;
    updateButtonColor();
}
