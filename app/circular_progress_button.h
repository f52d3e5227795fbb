// The round start control: a disc with a centred title inside a thin ring
// that shows the progress of a running series. Screen readers see it through
// CircularProgressButtonAccessible.
#pragma once

#include <functional>

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>

class QLabel;
class QVariantAnimation;

class CircularProgressButton : public QWidget {
    Q_OBJECT

public:
    explicit CircularProgressButton(QWidget* parent = nullptr);
    CircularProgressButton(const QRect& frame, QWidget* parent = nullptr);

    QString title() const { return title_; }
    // Shows the text in the middle; re-centred at once.
    void setTitle(const QString& title);

    double progress() const { return progress_; }
    // Clamps to 0...1 (NaN and -0 become 0) and animates the arc there.
    void setProgress(double progress);

    std::function<void()> onClick() const { return onClick_; }
    // Called after a completed click, after clicked() is emitted.
    void setOnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
    // Does what a completed click does (clicked(), then onClick) when enabled;
    // the press action of assistive technology.
    void click();

    bool isHovered() const { return isHovered_; }
    bool isPressed() const { return isPressed_; }

    QLabel* titleLabel() const { return titleLabel_; }

    // What is painted at this moment, animations included.
    QColor buttonColor() const { return shownButtonColor_; }
    double strokeEnd() const { return shownStrokeEnd_; }
    bool isRingVisible() const { return ringVisible_; }

    // Geometry of the last layout pass.
    QPointF center() const { return center_; }
    double discRadius() const { return discRadius_; }
    double ringRadius() const { return ringRadius_; }

    static QColor normalButtonColor();
    static constexpr double lineWidth = 9.0;
    static constexpr double ringGap = 2.0;
    static constexpr int animationMilliseconds = 100;

signals:
    // The control's action; sent before onClick runs.
    void clicked();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void commonInit();
    void layoutGeometry();
    void centerTitle();
    void updateButtonColor();
    bool isTrackingActive() const;

    void mouseDown(const QMouseEvent& event);
    void mouseUp(const QMouseEvent& event);
    void mouseEntered();
    void mouseExited();

    QString title_;
    double progress_ = 0.0;
    std::function<void()> onClick_;
    QLabel* titleLabel_ = nullptr;
    bool isHovered_ = false;
    bool isPressed_ = false;
    bool ringVisible_ = false;

    QPointF center_;
    double discRadius_ = 0.0;
    double ringRadius_ = 0.0;

    QColor shownButtonColor_;
    double shownStrokeEnd_ = 0.0;
    QVariantAnimation* colorAnimation_ = nullptr;
    QVariantAnimation* strokeEndAnimation_ = nullptr;
};
