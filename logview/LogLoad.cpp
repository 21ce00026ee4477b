#include "logview/LogLoad.h"

#include <limits>
#include <string>
#include <system_error>
#include <thread>

namespace vrx {

namespace {

// A log of one read's size or less is read where it is opened: that takes a blink, and a
// thread of its own would cost more (in memory too) than the reading.
constexpr std::int64_t ReadHere = 1 << 20;

// Below this a log is read by one thread: it takes a blink anyway.
constexpr std::int64_t SplitFrom = 32 << 20;

constexpr std::int64_t ToTheEnd = std::numeric_limits<std::int64_t>::max();

// Where a line begins near the middle of a log: after the first line end at or past `around`;
// -1 when none is near (a log of one long line, or one whose CR LF became LF alone).
std::int64_t lineStartNear(const LogBytes& bytes, std::int64_t around)
{
    std::string window(1 << 20, '\0');
    const std::int64_t got = bytes.readAt(around, window.data(), window.size());
    if (got <= 1)
        return -1;
    const std::string_view read(window.data(), size_t(got));
    const size_t cr = read.find('\r');
    // The byte after the CR must be here to tell whether it is the LF of the line end.
    if (cr == std::string_view::npos || cr + 1 >= read.size())
        return -1;
    return around + std::int64_t(cr) + (read[cr + 1] == '\n' ? 2 : 1);
}

} // namespace

LogLoad::LogLoad(std::shared_ptr<LogSource> file, QObject* parent) : BackgroundTask(parent), m_file(std::move(file))
{
    m_size = m_file->openedSize();
    start([this] { read(); }, m_size <= ReadHere);
}

LogLoad::LogLoad(std::shared_ptr<LogSource> file, std::unique_ptr<LineIndex> index, QObject* parent)
    : BackgroundTask(parent), m_file(std::move(file)), m_index(std::move(index)), m_readsOn(true)
{
    m_from = m_index->reopen();
    m_size = m_file->size();
    start([this] { readOn(); }, m_size - m_from.offset <= ReadHere);
}

LogLoad::~LogLoad()
{
    stop();
}

void LogLoad::read()
{
    const std::string& name = m_file->name();
    const std::int64_t size = m_file->openedSize();
    const std::int64_t split = size >= SplitFrom ? lineStartNear(*m_file, size / 2) : -1;
    PageSums& sums = m_file->sums();
    LogRead result;
    bool keptWhole = false;
    if (split < 0) {
        BytesInput bytes(*m_file, 0, ToTheEnd);
        SnapshotInput input(bytes, sums, m_file->keep());
        result = scanLog(input, name, *m_index, LineIndex::scanOptions(&m_stop));
        input.finish(true);
        keptWhole = input.keptWhole();
    } else {
        // A large log is read in two halves at once, the second from a line's start, as if the
        // display had text before it; its lines then follow the first half's.
        m_split.store(split);
        LogRead later;
        const auto readLater = [&] {
            BytesInput bytes(*m_file, split, ToTheEnd);
            SnapshotInput input(bytes, sums);
            ScanOptions options = LineIndex::scanOptions(&m_stopLater);
            options.from = {split, 0, true, false};
            later = scanLog(input, name, m_later, options);
            input.finish(true);
        };
        std::thread laterThread;
        try {
            laterThread = std::thread(readLater);
        } catch (const std::system_error&) {
            // No second thread to be had: the halves one after the other.
        }
        BytesInput bytes(*m_file, 0, split);
        SnapshotInput input(bytes, sums);
        result = scanLog(input, name, *m_index, LineIndex::scanOptions(&m_stop));
        input.finish(false);
        const bool laterWanted = result.ok() && m_index->hasLines() && !m_stop.load();
        if (laterThread.joinable()) {
            if (!laterWanted)
                m_stopLater.store(true);
            laterThread.join();
        } else if (laterWanted) {
            readLater();
        }
        if (result.ok() && !m_index->hasLines() && !m_stop.load()) {
            // Nothing shown before the second half: its first lines do not stand behind CR LF
            // after all. It is read again, on from the first half.
            BytesInput rest(*m_file, split, ToTheEnd);
            SnapshotInput again(rest, sums);
            ScanOptions options = LineIndex::scanOptions(&m_stop);
            options.from = {split, result.lines, false, false};
            result = scanLog(again, name, *m_index, options);
            again.finish(true);
        } else if (result.ok()) {
            const std::int64_t before = result.lines;
            m_index->append(std::move(m_later), before);
            result.lines += later.lines;
            result.interrupted = later.interrupted;
            result.failedLineInPart = later.failedLineInPart;
            if (later.failure) {
                result.failure = later.failure;
                if (result.failure->line > 0)
                    result.failure->line += before;
            }
        }
        m_split.store(-1);
    }
    m_file->readDone(keptWhole);
    m_result = std::move(result);
}

void LogLoad::readOn()
{
    BytesInput bytes(*m_file, m_from.offset, ToTheEnd);
    SnapshotInput input(bytes, m_file->sums(), m_file->keepOn());
    m_file->resume(input, m_from.offset);
    ScanOptions options = LineIndex::scanOptions(&m_stop);
    options.from = m_from;
    // The test writing the log may have stopped inside its last line.
    options.lastLineMayGrow = true;
    LogRead result = scanLog(input, m_file->name(), *m_index, options);
    input.finish(true);
    m_file->readDone(input.keptWhole());
    m_result = std::move(result);
}

void LogLoad::stop()
{
    m_stop.store(true);
    m_stopLater.store(true);
    join();
}

double LogLoad::fractionRead() const
{
    const std::int64_t size = m_size - m_from.offset;
    if (size <= 0)
        return 1.0;
    std::int64_t read = m_index->reachedOffset() - m_from.offset;
    const std::int64_t split = m_split.load();
    if (split >= 0)
        read += std::max<std::int64_t>(0, m_later.reachedOffset() - split);
    return std::min(1.0, double(read) / double(size));
}

} // namespace vrx
