#include "history_chart_view.h"

#include <algorithm>

#include <QDateTimeAxis>
#include <QEvent>
#include <QGraphicsLayout>
#include <QGuiApplication>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>

#include "palette.h"
#include "result_texts.h"

namespace {

constexpr qint64 hourMs = 3600 * 1000;
constexpr qint64 dayMs = 24 * hourMs;

// Room around the points so none sits on the frame; a single point or a
// flat line still gets a readable range.
void fitValueAxis(QValueAxis* axis, const QList<QPointF>& points)
{
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    const double pad = std::max({(high->y() - low->y()) * 0.1, high->y() * 0.05, 1.0});
    axis->setRange(std::max(0.0, low->y() - pad), high->y() + pad);
    axis->applyNiceNumbers();
    axis->setLabelFormat(QStringLiteral("%.0f"));
}

void fitDateAxis(QDateTimeAxis* axis, qint64 first, qint64 last)
{
    const qint64 span = last - first;
    const qint64 pad = span < dayMs ? 12 * hourMs : span / 30;
    axis->setRange(QDateTime::fromMSecsSinceEpoch(first - pad), QDateTime::fromMSecsSinceEpoch(last + pad));
    axis->setFormat(span >= 2 * dayMs ? QStringLiteral("d MMM") : QStringLiteral("d MMM HH:mm"));
    axis->setTickCount(6);
}

}  // namespace

HistoryChartView::HistoryChartView(QWidget* parent)
    : QChartView(parent)
{
    setRenderHint(QPainter::Antialiasing);
    setFocusPolicy(Qt::NoFocus);  // nothing to do from the keyboard; the table takes it
    setMinimumHeight(220);
    chart()->legend()->setAlignment(Qt::AlignTop);
    // The card fills the view, its edges in line with the table's below.
    chart()->layout()->setContentsMargins(0, 0, 0, 0);
    chart()->setMargins(QMargins(12, 8, 12, 8));
    chart()->setBackgroundRoundness(16);
    applyColors();
}

QColor HistoryChartView::singleCoreColor()
{
    return Palette::textScoreColor().resolved();
}

QColor HistoryChartView::multiCoreColor()
{
    return Palette::progressActiveColor();
}

void HistoryChartView::setResults(const std::vector<StoredResult>& results)
{
    QChart* chart = this->chart();
    chart->removeAllSeries();
    const auto axes = chart->axes();
    for (QAbstractAxis* axis : axes) {
        chart->removeAxis(axis);
        delete axis;
    }
    singleCore_ = multiCore_ = nullptr;
    dateAxis_ = nullptr;

    QList<QPointF> single, multi;
    for (const StoredResult& stored : results) {
        const ResultRecord& record = stored.record;
        const QDateTime at = ResultTexts::startedAt(record);
        if (!record.success || record.score <= 0 || !at.isValid())
            continue;
        const QPointF point(static_cast<qreal>(at.toMSecsSinceEpoch()), record.score);
        if (record.mode == ResultMode::single)
            single << point;
        else if (record.mode == ResultMode::multi)
            multi << point;
    }
    const auto byDate = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    std::sort(single.begin(), single.end(), byDate);
    std::sort(multi.begin(), multi.end(), byDate);

    if (single.isEmpty() && multi.isEmpty()) {
        chart->setTitle(QStringLiteral("No scores to plot yet"));
        applyColors();
        return;
    }
    chart->setTitle(QString());
    dateAxis_ = new QDateTimeAxis;
    const QList<QPointF> all = single + multi;
    const auto [first, last] = std::minmax_element(all.begin(), all.end(), byDate);
    fitDateAxis(dateAxis_, static_cast<qint64>(first->x()), static_cast<qint64>(last->x()));
    chart->addAxis(dateAxis_, Qt::AlignBottom);

    if (!single.isEmpty())
        singleCore_ = addSeries(QStringLiteral("Single-core"), single, Qt::AlignLeft);
    if (!multi.isEmpty())
        multiCore_ = addSeries(QStringLiteral("Multi-core"), multi, single.isEmpty() ? Qt::AlignLeft : Qt::AlignRight);
    applyColors();
}

QLineSeries* HistoryChartView::addSeries(const QString& name, const QList<QPointF>& points, Qt::Alignment axisSide)
{
    auto* series = new QLineSeries;
    series->setName(name);
    series->append(points);
    series->setPointsVisible(true);
    chart()->addSeries(series);

    auto* scoreAxis = new QValueAxis;
    scoreAxis->setTitleText(QStringLiteral("%1 score").arg(name));
    fitValueAxis(scoreAxis, points);
    chart()->addAxis(scoreAxis, axisSide);
    series->attachAxis(dateAxis_);
    series->attachAxis(scoreAxis);
    return series;
}

void HistoryChartView::applyColors()
{
    QChart* chart = this->chart();
    const QColor text = Palette::labelColor();
    const QColor border = Palette::cardBorderColor().resolved();
    setBackgroundBrush(QGuiApplication::palette().color(QPalette::Window));
    chart->setBackgroundBrush(Palette::cardBackgroundColor().resolved());
    chart->setBackgroundPen(QPen(border, 1));
    chart->setTitleBrush(Palette::secondaryLabelColor());
    chart->legend()->setLabelColor(text);

    const auto axes = chart->axes();
    for (QAbstractAxis* axis : axes) {
        axis->setLabelsColor(text);
        axis->setTitleBrush(text);
        axis->setLinePenColor(border);
        axis->setGridLineColor(border);
    }
    for (auto [series, color] : {std::pair{singleCore_, singleCoreColor()}, std::pair{multiCore_, multiCoreColor()}}) {
        if (!series)
            continue;
        QPen pen(color, 2);
        series->setPen(pen);
        series->setColor(color);
        // Each score axis drawn in the colour of its line, so it is clear
        // which is which; its texts stay in the text colour, to be read.
        const auto attached = series->attachedAxes();
        for (QAbstractAxis* axis : attached) {
            if (axis->orientation() == Qt::Vertical)
                axis->setLinePen(QPen(color, 2));
        }
    }
}

void HistoryChartView::changeEvent(QEvent* event)
{
    QChartView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        applyColors();
}
