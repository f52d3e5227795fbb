// A card with one row per CPU: its number, its kind, what it is doing, the
// runs it passed and its errors, under a row of column names.
#pragma once

#include <vector>

#include "card_frame.h"
#include "sysinfo/cpu_list.h"

class QGridLayout;
class QLabel;

class CpuGrid : public CardFrame {
    Q_OBJECT

public:
    enum Column { CpuColumn, KindColumn, StateColumn, PassedColumn, ErrorsColumn, ColumnCount };

    explicit CpuGrid(QWidget* parent = nullptr);

    // One row per CPU, each "Idle" with no runs.
    void setCpus(const std::vector<SysinfoCpu>& cpus);
    int rowCount() const { return static_cast<int>(rows_.size()); }

    // An error state is shown in the error colour.
    void setState(int row, const QString& state, bool error = false);
    // Errors above zero are shown in the error colour.
    void setCounts(int row, int passed, int errors);

    QString text(int row, int column) const;
    QLabel* cell(int row, int column) const;
    QLabel* header(int column) const { return headers_[column]; }

    // "Performance", "Efficiency", or a dash when the machine has one kind.
    static QString kindText(SysinfoCpuKind kind);

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Row {
        QLabel* cells[ColumnCount];
        bool stateError;
        int errors;
    };

    void applyColors();
    void applyColors(const Row& row);

    QGridLayout* grid_ = nullptr;
    QLabel* headers_[ColumnCount] = {};
    std::vector<Row> rows_;
};
