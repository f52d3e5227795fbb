// Score against date for the History window: one line for the single-core
// series and one for the multi-core runs, each on its own score axis (a
// multi-core score is many times a single-core one, and a change of a few
// per cent in either should show). Drawn as a card in the palette's colours,
// redrawn when the desktop switches between light and dark.
#pragma once

#include <vector>

#include <QChartView>

#include "results/result_store.h"

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

class HistoryChartView : public QChartView {
    Q_OBJECT

public:
    explicit HistoryChartView(QWidget* parent = nullptr);

    // Plots the successful single- and multi-core results; stability tests
    // and failed results have no score and are left out. A mode without
    // such a result has no line and no axis.
    void setResults(const std::vector<StoredResult>& results);

    // Present only while they have points.
    QLineSeries* singleCoreSeries() const { return singleCore_; }
    QLineSeries* multiCoreSeries() const { return multiCore_; }
    QDateTimeAxis* dateAxis() const { return dateAxis_; }

    // The series' colours: the score colour for single-core, the progress
    // colour for multi-core, so the two lines stay apart on light and dark.
    static QColor singleCoreColor();
    static QColor multiCoreColor();

protected:
    void changeEvent(QEvent* event) override;

private:
    QLineSeries* addSeries(const QString& name, const QList<QPointF>& points, Qt::Alignment axisSide);
    void applyColors();

    QLineSeries* singleCore_ = nullptr;
    QLineSeries* multiCore_ = nullptr;
    QDateTimeAxis* dateAxis_ = nullptr;
};
