#pragma once
// One log as the programs read it: the file, open for as long as its lines are shown, and what
// it was when it was read. A small log's bytes are held as they were read; a larger one is read
// again (from any thread) when its lines are shown, searched, copied or printed, and checked
// against the sums of its pages taken at the first reading. So the text made of it is always the
// log as it was read, or the reading says it is no longer there. It also tells how the file on
// disk differs from the one read: grown, rewritten, shortened, replaced or gone.

#include "core/LogFailure.h"
#include "core/LogSnapshot.h"
#include "files/Files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vrx {

class LogSource : public LogBytes, public std::enable_shared_from_this<LogSource> {
public:
    // Logs of this size or less are held as they were read (a few MiB: every log of a test
    // run, and the memory hardly shows beside the program's own).
    static constexpr std::int64_t HeldSize = 4 << 20;

    // Opens a log (its name as the system's bytes); nothing, and the failure (CannotOpen) set,
    // when it cannot be opened. Logs up to `held` bytes are held once read.
    static std::shared_ptr<LogSource> open(const std::string& name, LogFailure& failure,
                                           std::int64_t held = HeldSize);
    // A log on a regular file open already (standard input, or a pipe kept in a file), which
    // stays the caller's to close.
    static std::shared_ptr<LogSource> ofDescriptor(int fd, const std::string& name, std::int64_t held = HeldSize);
    ~LogSource() override;
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;

    // The file's bytes as they are now, unchecked.
    std::int64_t readAt(std::int64_t offset, char* data, size_t size) const override;
    // The name as the system spells it, for failures.
    const std::string& name() const { return m_name; }
    // Its size when opened, and now.
    std::int64_t openedSize() const { return m_opened.size; }
    std::int64_t size() const;

    // ---- The reading ----
    // What the readings of the file take the sums of their pages into.
    PageSums& sums() { return *m_sums; }
    // Where a reading from the start keeps the bytes of a log small enough to hold; null else.
    std::string* keep();
    // The same for a reading on from where the bytes read end (the file has grown): the bytes
    // held so far, to which the reading adds; null when the log is too large to hold now.
    std::string* keepOn();
    // Makes a reading on from `from` (a line's start at or before where the bytes read end) sum
    // the page that end stands in again, whole.
    void resume(SnapshotInput& input, std::int64_t from) const;
    // The readings have ended: a page two of them shared is summed, and the bytes of a log read
    // whole into keep() or keepOn() are held from now on, else the file is read again.
    void readDone(bool keptWhole);
    // What its lines are made of: the bytes held, or the file with the sums of its pages.
    LogSnapshot snapshot() const;
    // Where the bytes read end.
    std::int64_t readEnd() const;

    // ---- Its changes ----
    enum class Change {
        None,
        Appended,  // the file is longer, and the part read is as it was
        Rewritten, // the part read is not as it was (or the file cannot be looked at any more)
        Truncated, // the file is shorter than the part read
        Replaced,  // another file has its name now; this one is still open
        Gone,      // no file has its name any more; this one is still open
    };
    // How the file differs from the one read (or last taken): the file's identity, size and
    // times first, then, where they differ, the bytes held or the sums of the pages.
    Change change();
    // Takes the file as it is now for what change() compares with.
    void takeState();
    // The same after a reading on, when the file is as long as the bytes read.
    void takeStateIfRead();

    // Called before each read with its offset, on the thread that reads: tests make the reading
    // as slow as a slow disk with it. Set before the file is read.
    void setReadHook(std::function<void(std::int64_t offset)> hook) { m_readHook = std::move(hook); }

private:
    LogSource() = default;
    // Whether the bytes read are still those of the file: all of them for a held log or one of
    // no more than a few sums' reading, else a sample of pages spread over it.
    bool readPartHolds(bool whole) const;

    std::string m_name;
    int m_fd = -1;
    bool m_owned = true;
    files::FileState m_opened;
    files::FileState m_taken;
    std::int64_t m_heldLimit = HeldSize;
    std::shared_ptr<PageSums> m_sums = std::make_shared<PageSums>();
    std::string m_kept;
    std::shared_ptr<const MemoryBytes> m_held;
    std::function<void(std::int64_t offset)> m_readHook;
};

} // namespace vrx
