#include "logview/BackgroundTask.h"

#include <QMetaObject>

#include <system_error>

namespace vrx {

BackgroundTask::~BackgroundTask()
{
    join();
}

void BackgroundTask::start(std::function<void()> work, bool here)
{
    auto run = [this, work = std::move(work)](bool doIt) {
        if (doIt)
            work();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_all();
        // Told on the object's own thread; dropped there if the object is gone by then.
        QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
    };
    if (here) {
        run(true);
        return;
    }
    try {
        m_thread = std::thread(run, true);
    } catch (const std::system_error& error) {
        m_startFailure = error.what();
        if (m_startFailure.empty())
            m_startFailure = "no thread could be started";
        run(false);
    }
}

void BackgroundTask::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool BackgroundTask::waitFor(std::chrono::milliseconds time)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_ended.wait_for(lock, time, [this] { return m_done; });
}

bool BackgroundTask::done() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_done;
}

} // namespace vrx
