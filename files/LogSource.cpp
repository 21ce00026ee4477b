#include "files/LogSource.h"

#include "files/ReadFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace vrx {

namespace {

// A log up to this size is checked whole when its times change and its size does not: a few
// hundredths of a second from the system's cache.
constexpr std::int64_t CheckedWhole = 64 << 20;
// Of a larger one, every so many pages, with the first and the last.
constexpr std::int64_t SampleEvery = 1024;

} // namespace

std::shared_ptr<LogSource> LogSource::open(const std::string& name, LogFailure& failure, std::int64_t held)
{
    RegularFile file(name);
    if (!file.isOpen()) {
        failure = LogFailure{LogFailure::Kind::CannotOpen, name, 0, file.openFailure()};
        return nullptr;
    }
    std::shared_ptr<LogSource> log(new LogSource);
    log->m_name = name;
    log->m_heldLimit = held;
    // The descriptor is the file's for as long as the log is shown: a file put in its place
    // later does not change what is read.
    log->m_fd = file.release();
    files::stateOfOpenFile(log->m_fd, log->m_opened);
    log->m_taken = log->m_opened;
    return log;
}

std::shared_ptr<LogSource> LogSource::ofDescriptor(int fd, const std::string& name, std::int64_t held)
{
    std::shared_ptr<LogSource> log(new LogSource);
    log->m_name = name;
    log->m_heldLimit = held;
    log->m_fd = fd;
    log->m_owned = false;
    files::stateOfOpenFile(fd, log->m_opened);
    log->m_taken = log->m_opened;
    return log;
}

LogSource::~LogSource()
{
    if (m_fd >= 0 && m_owned)
        files::closeFile(m_fd);
}

std::int64_t LogSource::readAt(std::int64_t offset, char* data, size_t size) const
{
    if (m_readHook)
        m_readHook(offset);
    size_t got = 0;
    if (const files::Error error = files::readAt(m_fd, offset, data, size, got)) {
        errno = error.category() == std::generic_category() ? error.value() : EIO;
        return -1;
    }
    return static_cast<std::int64_t>(got);
}

std::int64_t LogSource::size() const
{
    files::FileState now;
    return files::stateOfOpenFile(m_fd, now) ? now.size : m_opened.size;
}

std::string* LogSource::keep()
{
    m_kept.clear();
    return m_heldLimit >= m_opened.size ? &m_kept : nullptr;
}

std::string* LogSource::keepOn()
{
    files::FileState now;
    m_kept.clear();
    if (!m_held || !files::stateOfOpenFile(m_fd, now) || now.size > m_heldLimit)
        return nullptr;
    m_kept = m_held->bytes();
    return &m_kept;
}

void LogSource::resume(SnapshotInput& input, std::int64_t from) const
{
    const std::int64_t pageStart = readEnd() / PageSums::PageSize * PageSums::PageSize;
    std::string before(size_t(std::max<std::int64_t>(0, from - pageStart)), '\0');
    std::int64_t done = 0;
    while (done < std::int64_t(before.size())) {
        const std::int64_t got = readAt(pageStart + done, before.data() + done, before.size() - size_t(done));
        if (got <= 0)
            break;
        done += got;
    }
    before.resize(size_t(done));
    input.resume(pageStart, before);
}

void LogSource::readDone(bool keptWhole)
{
    m_sums->fillGaps(*this);
    if (keptWhole && std::int64_t(m_kept.size()) == m_sums->end())
        m_held = std::make_shared<const MemoryBytes>(std::move(m_kept));
    else
        m_held = nullptr;
    m_kept = std::string();
}

LogSnapshot LogSource::snapshot() const
{
    if (m_held)
        return {m_held, nullptr};
    return {shared_from_this(), m_sums};
}

std::int64_t LogSource::readEnd() const
{
    return m_held ? std::int64_t(m_held->bytes().size()) : m_sums->end();
}

bool LogSource::readPartHolds(bool whole) const
{
    const std::int64_t end = readEnd();
    if (m_held) {
        const std::string& held = m_held->bytes();
        std::string now(held.size(), '\0');
        std::int64_t done = 0;
        while (done < end) {
            const std::int64_t got = readAt(done, now.data() + done, size_t(end - done));
            if (got <= 0)
                return false;
            done += got;
        }
        return now == held;
    }
    if (whole || end <= CheckedWhole)
        return m_sums->holds(*this, 0, end);
    const std::int64_t pages = (end + PageSums::PageSize - 1) / PageSums::PageSize;
    for (std::int64_t k = 0; k < pages; k += k + 1 == pages ? 1 : std::min(SampleEvery, pages - 1 - k)) {
        const std::int64_t from = k * PageSums::PageSize;
        if (!m_sums->holds(*this, from, std::min(end, from + PageSums::PageSize)))
            return false;
    }
    return true;
}

LogSource::Change LogSource::change()
{
    // Another file under the name, or none, first: the open file itself may look changed then
    // (a file deleted loses a link, which is a change of it).
    files::FileId named;
    if (!files::idOfPath(m_name, named))
        return Change::Gone;
    files::FileState now;
    if (!files::stateOfOpenFile(m_fd, now))
        return Change::Rewritten;
    if (!(named == now.id))
        return Change::Replaced;
    if (now.deleted)
        return Change::Gone;
    if (now == m_taken)
        return Change::None;
    const std::int64_t end = readEnd();
    if (now.size < end)
        return Change::Truncated;
    if (now.size > end) {
        // Grown: the part read must be as it was, which its last page and first page tell, and
        // every part of it read later is checked again.
        const std::int64_t lastPage = std::max<std::int64_t>(0, end - 1) / PageSums::PageSize * PageSums::PageSize;
        const bool holds = m_held ? readPartHolds(true)
                                  : m_sums->holds(*this, lastPage, end)
                && m_sums->holds(*this, 0, std::min(end, PageSums::PageSize));
        return holds ? Change::Appended : Change::Rewritten;
    }
    // The same size and other times: rewritten in place, or only touched.
    if (!readPartHolds(false))
        return Change::Rewritten;
    m_taken = now;
    return Change::None;
}

void LogSource::takeState()
{
    files::stateOfOpenFile(m_fd, m_taken);
}

void LogSource::takeStateIfRead()
{
    files::FileState now;
    if (files::stateOfOpenFile(m_fd, now) && now.size == readEnd())
        m_taken = now;
}

} // namespace vrx
