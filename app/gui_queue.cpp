#include "gui_queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

GuiQueue& GuiQueue::instance()
{
    // Lives as long as the process, made on the application's thread (see
    // createWithApplication); a thread that posts before there is one hands
    // it over there.
    static GuiQueue* queue = [] {
        auto* created = new GuiQueue;
        created->moveToThread(QCoreApplication::instance()->thread());
        return created;
    }();
    return *queue;
}

void GuiQueue::createWithApplication()
{
    instance();
}

// A queue first made by a worker would reach the GUI thread through Qt's
// event queue alone, a hand-off thread checkers do not see; made while the
// application is constructed, it comes before every worker.
static void createGuiQueue()
{
    GuiQueue::createWithApplication();
}
Q_COREAPP_STARTUP_FUNCTION(createGuiQueue)

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
