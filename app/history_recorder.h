// Keeps finished results in the local history without holding up the
// window: records are stored one after another on a thread of their own,
// and the outcome of each comes back on the GUI thread. Deleting the
// recorder waits for the records it was given, so quitting loses none.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QObject>
#include <QString>

#include "results/result_record.h"

class HistoryRecorder : public QObject {
    Q_OBJECT

public:
    explicit HistoryRecorder(QObject* parent = nullptr);
    ~HistoryRecorder() override;

    // Stores the record in the history at result_history_default_path(),
    // the path as it is when the record is stored. Returns at once.
    void record(const ResultRecord& record);

signals:
    // Once for each record, on the GUI thread: problem is empty when the
    // record was stored, else the one line that says what went wrong.
    void recorded(const QString& resultId, const QString& problem);

private:
    void storeQueued();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<ResultRecord> queue_;
    bool stopping_ = false;
    std::thread thread_;
};
