#pragma once
// A log's lines found on a thread of its own, so that the window shows the first screen at once
// and answers while the rest is read. The view takes the lines found so far whenever it likes,
// and all of them once the reading has ended.

#include "core/LineIndex.h"
#include "files/LogSource.h"
#include "logview/BackgroundTask.h"

#include <atomic>
#include <memory>

namespace vrx {

class LogLoad : public BackgroundTask {
    Q_OBJECT
public:
    // Starts reading at once.
    explicit LogLoad(std::shared_ptr<LogSource> file, QObject* parent = nullptr);
    // Starts reading on, at once, where the lines of `index` end, the file having grown: only
    // what was added (and the last line again, where it may have gone on) is read.
    LogLoad(std::shared_ptr<LogSource> file, std::unique_ptr<LineIndex> index, QObject* parent = nullptr);
    // Stops the reading and waits for its thread.
    ~LogLoad() override;

    // Ends the reading at its next chunk and waits for that.
    void stop();

    const std::shared_ptr<LogSource>& file() const { return m_file; }
    // How much of the file has been read, 0 to 1.
    double fractionRead() const;
    // Whether it reads on from lines read before.
    bool readsOn() const { return m_readsOn; }
    // Blocks of lines found so far: the lines grow when this does.
    size_t blocksFound() const { return m_index->blocksFound(); }
    // The lines of the blocks found so far.
    DisplayLines linesSoFar() const { return m_index->linesSoFar(m_file->snapshot()); }

    // Once done: what the reading gave, and all its lines (those before a failing line).
    const LogRead& result() const { return m_result; }
    DisplayLines lines() { return m_index->finish(m_file->snapshot()); }
    // Once done: the index of the lines, to read on from should the log grow.
    std::unique_ptr<LineIndex> takeIndex() { return std::move(m_index); }

private:
    void read();
    void readOn();

    std::shared_ptr<LogSource> m_file;
    std::unique_ptr<LineIndex> m_index = std::make_unique<LineIndex>();
    bool m_readsOn = false;
    ScanPoint m_from;          // where a reading on begins
    std::int64_t m_size = 0;   // the file's size when the reading began
    std::atomic<bool> m_stop{false};
    // A large log's second half, found at the same time on another thread from `m_split` on.
    LineIndex m_later;
    std::atomic<bool> m_stopLater{false};
    std::atomic<std::int64_t> m_split{-1};
    LogRead m_result;
};

} // namespace vrx
