#include "gui_queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

GuiQueue& GuiQueue::instance()
{
    // Lives as long as the process; whichever thread posts first creates it
    // and hands it to the application's thread.
    static GuiQueue* queue = [] {
        auto* created = new GuiQueue;
        created->moveToThread(QCoreApplication::instance()->thread());
        return created;
    }();
    return *queue;
}

void GuiQueue::post(std::function<void()> task)
{
    GuiQueue& queue = instance();
    {
        std::lock_guard lock(queue.mutex_);
        queue.tasks_.push_back(std::move(task));
    }
    // One call per task keeps the order of Qt's queue and ours the same.
    QMetaObject::invokeMethod(&queue, "runNext", Qt::QueuedConnection);
}

void GuiQueue::runNext()
{
    std::function<void()> task;
    {
        std::lock_guard lock(mutex_);
        if (tasks_.empty())
            return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
}
