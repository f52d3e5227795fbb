#include "history_recorder.h"

#include "results/result_store.h"

HistoryRecorder::HistoryRecorder(QObject* parent)
    : QObject(parent)
{
}

HistoryRecorder::~HistoryRecorder()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void HistoryRecorder::record(const ResultRecord& record)
{
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(record);
    }
    // Started with the first record: a window that never stores a result
    // has no thread waiting.
    if (!thread_.joinable())
        thread_ = std::thread([this] { storeQueued(); });
    wake_.notify_one();
}

void HistoryRecorder::storeQueued()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;  // stopping, and every record is stored
        const ResultRecord record = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        const std::string problem = result_history_store(record, result_history_default_path());
        // Queued to this object: dropped if it is gone by the time the GUI
        // thread gets to it (the destructor waits for this thread first).
        QMetaObject::invokeMethod(
            this,
            [this, id = QString::fromStdString(record.result_id), line = QString::fromStdString(problem)] {
                emit recorded(id, line);
            },
            Qt::QueuedConnection);
        lock.lock();
    }
}
