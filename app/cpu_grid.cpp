#include "cpu_grid.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>

#include "palette.h"
#include "text_style.h"

namespace {

const char* const columnNames[CpuGrid::ColumnCount] = {"CPU", "Kind", "State", "Passed", "Errors"};

// Numbers line up on the right, words on the left.
Qt::Alignment columnAlignment(int column)
{
    const bool number = column == CpuGrid::CpuColumn || column == CpuGrid::PassedColumn ||
                        column == CpuGrid::ErrorsColumn;
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

}  // namespace

CpuGrid::CpuGrid(QWidget* parent)
    : CardFrame(parent)
{
    setAccessibleName(QStringLiteral("CPUs"));
    grid_ = new QGridLayout(this);
    grid_->setContentsMargins(16, 16, 16, 16);
    grid_->setHorizontalSpacing(16);
    grid_->setVerticalSpacing(8);
    for (int column = 0; column < ColumnCount; ++column) {
        auto* label = new QLabel(QString::fromLatin1(columnNames[column]), this);
        label->setFont(TextStyle::verdana(13));
        label->setAlignment(columnAlignment(column));
        grid_->addWidget(label, 0, column);
        headers_[column] = label;
    }
    // The state takes the spare width.
    grid_->setColumnStretch(StateColumn, 1);
    applyColors();
}

QString CpuGrid::kindText(SysinfoCpuKind kind)
{
    switch (kind) {
    case SysinfoCpuKind::performance:
        return QStringLiteral("Performance");
    case SysinfoCpuKind::efficiency:
        return QStringLiteral("Efficiency");
    case SysinfoCpuKind::unknown:
        break;
    }
    return QStringLiteral("\u2014");
}

void CpuGrid::setCpus(const std::vector<SysinfoCpu>& cpus)
{
    for (const Row& row : rows_) {
        for (QLabel* label : row.cells)
            delete label;
    }
    rows_.clear();
    rows_.reserve(cpus.size());
    for (const SysinfoCpu& cpu : cpus) {
        Row row{};
        const int at = static_cast<int>(rows_.size()) + 1;
        const QString texts[ColumnCount] = {QString::number(cpu.number), kindText(cpu.kind),
                                            QStringLiteral("Idle"), QStringLiteral("0"), QStringLiteral("0")};
        for (int column = 0; column < ColumnCount; ++column) {
            auto* label = new QLabel(texts[column], this);
            label->setFont(column == KindColumn || column == StateColumn ? TextStyle::verdana(13)
                                                                         : TextStyle::menlo(13));
            label->setAlignment(columnAlignment(column));
            grid_->addWidget(label, at, column);
            row.cells[column] = label;
        }
        rows_.push_back(row);
        applyColors(rows_.back());
    }
}

void CpuGrid::setState(int row, const QString& state, bool error)
{
    Row& r = rows_.at(static_cast<size_t>(row));
    r.stateError = error;
    r.cells[StateColumn]->setText(state);
    applyColors(r);
}

void CpuGrid::setCounts(int row, int passed, int errors)
{
    Row& r = rows_.at(static_cast<size_t>(row));
    r.errors = errors;
    r.cells[PassedColumn]->setText(QString::number(passed));
    r.cells[ErrorsColumn]->setText(QString::number(errors));
    applyColors(r);
}

QString CpuGrid::text(int row, int column) const
{
    return cell(row, column)->text();
}

QLabel* CpuGrid::cell(int row, int column) const
{
    return rows_.at(static_cast<size_t>(row)).cells[column];
}

void CpuGrid::applyColors()
{
    for (QLabel* label : headers_)
        TextStyle::setTextColor(label, Palette::secondaryLabelColor());
    for (const Row& row : rows_)
        applyColors(row);
}

void CpuGrid::applyColors(const Row& row)
{
    for (int column = 0; column < ColumnCount; ++column) {
        const bool error = (column == StateColumn && row.stateError) || (column == ErrorsColumn && row.errors > 0);
        TextStyle::setTextColor(row.cells[column], error ? Palette::textErrorColor() : Palette::labelColor());
    }
}

void CpuGrid::changeEvent(QEvent* event)
{
    CardFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        applyColors();
}
