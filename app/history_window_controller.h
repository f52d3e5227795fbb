// The History window: the results kept in the local history, newest first,
// as a table, and their scores against the date as a chart. It only reads
// the history: a history that does not exist yet shows an empty state, one
// that cannot be read shows why in one line.
#pragma once

#include <QWidget>

class HistoryChartView;
class QLabel;
class QPushButton;
class QTableWidget;

class HistoryWindowController : public QWidget {
    Q_OBJECT

public:
    enum class State { Results, Empty, Error };
    enum Column { DateColumn, ModeColumn, ScoreColumn, TimeColumn, EngineColumn, CpuColumn, VerdictColumn, ColumnCount };

    static constexpr int defaultWidth = 960;
    static constexpr int defaultHeight = 680;

    explicit HistoryWindowController(QWidget* parent = nullptr);

    State state() const { return state_; }
    // The empty-state or error line; empty while results are shown.
    QLabel* messageLabel() const { return messageLabel_; }
    QTableWidget* tableView() const { return tableView_; }
    HistoryChartView* chartView() const { return chartView_; }
    QPushButton* closeButton() const { return closeButton_; }

public slots:
    // Reads the history at result_history_default_path() again.
    void reload();
    // Reads it again, shows the window and brings it to the front.
    void showWindow();

protected:
    void changeEvent(QEvent* event) override;

private:
    void setupUI();
    void showMessage(State state, const QString& text);
    void applyColors();

    State state_ = State::Empty;
    QLabel* messageLabel_ = nullptr;
    HistoryChartView* chartView_ = nullptr;
    QTableWidget* tableView_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};
