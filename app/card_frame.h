// A rounded card: 16-point corners, a 1-point border and a fill, both taken
// from the palette each time it is painted so a theme switch shows at once.
#pragma once

#include <QFrame>

class CardFrame : public QFrame {
    Q_OBJECT

public:
    explicit CardFrame(QWidget* parent = nullptr);

    static constexpr double cornerRadius = 16.0;
    static constexpr double borderWidth = 1.0;

protected:
    void paintEvent(QPaintEvent* event) override;
};
