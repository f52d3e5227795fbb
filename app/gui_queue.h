// Runs tasks on the GUI thread, one at a time, in the order they were posted
// from any thread. The hand-off goes through a mutex of ours, so tools that
// check threads see it as well as Qt's own event queue.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include <QObject>

class GuiQueue : public QObject {
    Q_OBJECT

public:
    // Queues the task to run on the application's thread. Needs a
    // QCoreApplication; safe from any thread.
    static void post(std::function<void()> task);

    // Makes the queue on the calling thread; the application does this on
    // its own thread while it is constructed.
    static void createWithApplication();

private slots:
    void runNext();

private:
    GuiQueue() = default;
    static GuiQueue& instance();

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};
