#pragma once
// Finds the display lines of a log as a scan converts it, keeping for every block of lines
// only where it begins in the log's bytes and what converting it again needs. The scan may run
// on a thread of its own while another takes the lines found so far.

#include "core/DisplayLines.h"
#include "core/LogScanner.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace vrx {

class LineIndex : public LogSink {
public:
    LineIndex();

    // The options of a scan that feeds an index.
    static ScanOptions scanOptions(const std::atomic<bool>* stop = nullptr);

    void line(const ScannedLine& line) override;
    void reached(std::int64_t offset) override { m_reached.store(offset, std::memory_order_relaxed); }

    // How far the scan has read, from any thread.
    std::int64_t reachedOffset() const { return m_reached.load(std::memory_order_relaxed); }
    // Blocks of lines found so far, from any thread; the last of them may still grow.
    size_t blocksFound() const;
    // The lines of the whole blocks found so far, from any thread while the scan goes on: a
    // view can show them before the end.
    DisplayLines linesSoFar(LogSnapshot log) const;
    // The lines once the scan has ended: all of them, or those before the line it failed at.
    // The index stays as it is, to read on from should the log grow (reopen).
    DisplayLines finish(LogSnapshot log);

    // Whether the display has text: a line was found.
    bool hasLines() const { return m_lines > 0; }
    // Takes over the lines another index found, from a scan of the bytes that follow this
    // one's, made as if the display had text before them (ScanPoint::started); this index has
    // found some, from `logLines` log lines. Both scans have ended.
    void append(LineIndex&& later, std::int64_t logLines);

    // Where a scan reads on once the log has grown, feeding this index: the last log line
    // again, after what it added is taken back, when it may go on (it ended with the bytes, or
    // with a CR whose LF may come with the next bytes); else where the bytes read end. The
    // scans have ended.
    ScanPoint reopen();

private:
    using Block = DisplayLines::Block;
    // Forgets what a line that did not end added.
    void settle();
    // A display line begins at `source` of the bytes.
    void begin(std::int64_t source, bool started, bool inLine);

    mutable std::mutex m_mutex;            // over m_blocks, which another thread copies
    std::vector<Block> m_blocks;
    std::uint64_t m_lines = 0;             // display lines begun
    std::uint64_t m_characters = 0;        // of the lines joined by one character
    std::uint64_t m_lastStart = 0;         // where the last display line begins
    std::int64_t m_next = 0;               // where the bytes after the last whole log line begin
    // The log line being read in parts: where it begins, whether its display line has begun,
    // and what was found before it, to go back to should it not end.
    std::int64_t m_lineOffset = 0;
    bool m_lineBegun = false;
    bool m_open = false;
    struct Before {
        std::uint64_t lines = 0;
        std::uint64_t characters = 0;
        std::uint64_t lastStart = 0;
        size_t blocks = 0;
    } m_before;
    // The last log line, whole: log lines before it, whether it stood behind CR LF, and where
    // its bytes end (its line end follows up to m_next).
    bool m_haveLast = false;
    std::int64_t m_lastNumber = 0;
    bool m_lastSeparated = false;
    std::int64_t m_lastEnd = 0;
    std::atomic<std::int64_t> m_reached{0};
    std::shared_ptr<ChangeNotice> m_notice;
};

} // namespace vrx
