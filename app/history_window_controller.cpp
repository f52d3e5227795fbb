#include "history_window_controller.h"

#include <exception>

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "history_chart_view.h"
#include "palette.h"
#include "result_texts.h"
#include "results/result_store.h"

namespace {

void setTextColor(QLabel* label, const QColor& color)
{
    QPalette palette;
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment);
    return item;
}

}  // namespace

HistoryWindowController::HistoryWindowController(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setupUI();
}

void HistoryWindowController::setupUI()
{
    setWindowTitle(QStringLiteral("History"));
    setMinimumSize(640, 480);
    resize(defaultWidth, defaultHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);

    messageLabel_ = new QLabel;
    messageLabel_->setObjectName(QStringLiteral("messageLabel"));
    messageLabel_->setAlignment(Qt::AlignCenter);
    messageLabel_->setWordWrap(true);
    messageLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(messageLabel_, 1);

    chartView_ = new HistoryChartView;
    chartView_->setObjectName(QStringLiteral("chartView"));
    chartView_->setAccessibleName(QStringLiteral("Scores by date"));
    layout->addWidget(chartView_, 1);

    const QStringList headers{QStringLiteral("Date"),   QStringLiteral("Mode"), QStringLiteral("Score"),
                              QStringLiteral("Time"),   QStringLiteral("Engine"), QStringLiteral("CPU"),
                              QStringLiteral("Verdict")};
    tableView_ = new QTableWidget(0, ColumnCount);
    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->setAccessibleName(QStringLiteral("Past results"));
    tableView_->setHorizontalHeaderLabels(headers);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab leaves the table for the button; the arrows move between rows.
    tableView_->setTabKeyNavigation(false);
    tableView_->setAlternatingRowColors(true);
    tableView_->setShowGrid(false);
    tableView_->setWordWrap(false);
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setDefaultSectionSize(tableView_->fontMetrics().height() + 8);
    QHeaderView* header = tableView_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(VerdictColumn, QHeaderView::Stretch);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(tableView_, 1);

    closeButton_ = new QPushButton(QStringLiteral("Close"));
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::close);
    // Return presses it when it has the focus, as buttons in dialogs do;
    // this window is not a dialog, so that is not the default here.
    closeButton_->setAutoDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    layout->addLayout(buttons);

    setTabOrder(tableView_, closeButton_);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    auto* closeKey = new QShortcut(QKeySequence::Close, this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    applyColors();
}

void HistoryWindowController::reload()
{
    std::vector<StoredResult> results;
    try {
        if (const std::unique_ptr<ResultStore> store = result_history_open_existing(result_history_default_path()))
            results = store->list(ResultQuery{});
    } catch (const std::exception& e) {
        showMessage(State::Error, QStringLiteral("The history cannot be read: %1").arg(QString::fromUtf8(e.what())));
        return;
    }
    if (results.empty()) {
        showMessage(State::Empty, QStringLiteral("No results yet. Every benchmark you run will be kept here."));
        return;
    }

    state_ = State::Results;
    messageLabel_->clear();
    messageLabel_->hide();
    tableView_->setRowCount(0);
    tableView_->setRowCount(static_cast<int>(results.size()));
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    for (int row = 0; row < tableView_->rowCount(); ++row) {
        const ResultRecord& record = results[static_cast<size_t>(row)].record;
        QTableWidgetItem* date = cell(ResultTexts::date(record));
        date->setToolTip(QStringLiteral("#%1, started %2")
                             .arg(results[static_cast<size_t>(row)].id)
                             .arg(QString::fromStdString(record.started_at)));
        tableView_->setItem(row, DateColumn, date);
        tableView_->setItem(row, ModeColumn, cell(ResultTexts::mode(record)));
        tableView_->setItem(row, ScoreColumn, cell(ResultTexts::score(record), right));
        tableView_->setItem(row, TimeColumn, cell(ResultTexts::time(record), right));
        tableView_->setItem(row, EngineColumn, cell(ResultTexts::engine(record)));
        tableView_->setItem(row, CpuColumn, cell(ResultTexts::cpu(record)));
        QTableWidgetItem* verdict = cell(ResultTexts::verdict(record));
        verdict->setToolTip(verdict->text());
        if (!record.success)
            verdict->setForeground(Palette::textErrorColor());
        tableView_->setItem(row, VerdictColumn, verdict);
    }
    chartView_->setResults(results);
    chartView_->show();
    tableView_->show();
    tableView_->setCurrentCell(0, DateColumn);
}

void HistoryWindowController::showMessage(State state, const QString& text)
{
    state_ = state;
    tableView_->setRowCount(0);
    chartView_->setResults({});
    chartView_->hide();
    tableView_->hide();
    messageLabel_->setText(text);
    messageLabel_->show();
    applyColors();
}

void HistoryWindowController::showWindow()
{
    reload();
    show();
    raise();
    activateWindow();
    if (state_ == State::Results)
        tableView_->setFocus(Qt::ActiveWindowFocusReason);
    else
        closeButton_->setFocus(Qt::ActiveWindowFocusReason);
}

void HistoryWindowController::applyColors()
{
    setTextColor(messageLabel_, state_ == State::Error ? Palette::textErrorColor() : Palette::secondaryLabelColor());
}

void HistoryWindowController::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) && messageLabel_)
        applyColors();
}
