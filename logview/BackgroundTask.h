#pragma once
// A piece of work of the window's that may take long (reading a log, searching it): made on a
// thread of its own, or where it is started when it is known to be quick. The window waits for
// it a blink and then goes on; `finished` tells it the end later, from its event loop.

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vrx {

class BackgroundTask : public QObject {
    Q_OBJECT
public:
    // Waits until the work has ended or the time has passed; true when it has ended.
    bool waitFor(std::chrono::milliseconds time);
    bool done() const;
    // The work was not done: no thread could be started for it (the system's reason, else empty).
    const std::string& startFailure() const { return m_startFailure; }

signals:
    // The work has ended (emitted on the thread the object lives in).
    void finished();

protected:
    explicit BackgroundTask(QObject* parent) : QObject(parent) {}
    // Joins the thread: a subclass tells its work to stop first, and calls this in its
    // destructor at the latest, while what the work uses is still there.
    ~BackgroundTask() override;

    // Does the work here and now when `here`, else on a thread of its own. What the work
    // leaves for the results is seen by whoever has seen done() or waitFor() say it ended. When
    // no thread can be started, the work is not done and it ends at once with startFailure().
    void start(std::function<void()> work, bool here);
    void join();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_thread;
    std::string m_startFailure;
};

} // namespace vrx
