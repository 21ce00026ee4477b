#pragma once
// A log as it was read: its bytes held in memory, or the file read again later and checked, a
// page at a time, against checksums taken when the scan first read those bytes. Whatever is made
// of a log later (the lines on the screen, a search, a copy, a printout) is made of the log as it
// was read, or the reading says that the bytes are no longer those.
//
// The checksums are taken on the raw bytes as they come in, before the scanner repairs or splits
// anything, at fixed places of the file: a block of lines is checked by the pages it touches,
// the two halves of a large log read at once join without a second reading, and bytes added to
// the end later are checked from where the old end was.

#include "core/LogScanner.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vrx {

// A fast 64-bit checksum of bytes (not a cryptographic one: it tells a change, not an attack).
std::uint64_t checksum64(const char* data, size_t size);

// The checksums of a log's pages as they were read. Page k holds the bytes from k * PageSize on,
// a whole page or, for the last one read, what there was of it. Shared between the thread that
// reads the log and those that read it again.
class PageSums {
public:
    static constexpr std::int64_t PageSize = 4096;

    // Page k's sum and how many of its bytes it covers (1 to PageSize); length 0 when not known.
    struct Page {
        std::uint64_t sum = 0;
        std::int64_t length = 0;
    };
    Page page(size_t k) const;
    void set(size_t k, std::uint64_t sum, std::int64_t length);
    // Where the bytes checked so far end (the end of the file as far as it was read).
    std::int64_t end() const;
    // The bytes read go on to here, even where no page of them is summed yet.
    void reach(std::int64_t end);
    // Whether every page up to end() is known.
    bool complete() const;
    // Takes the sums of pages not yet known (a page that two readings each read a part of) from
    // the bytes as they are now; false when they cannot be read.
    bool fillGaps(const LogBytes& bytes);
    // Whether bytes [from, until) read now are those the sums were taken of, as far as they are
    // known; reads whole pages.
    bool holds(const LogBytes& bytes, std::int64_t from, std::int64_t until) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::uint64_t> m_pages;  // sum in the high bits, length - 1 in the low 13; 0 unknown
    std::int64_t m_end = 0;
};

// The bytes of a log as a scan read them: held (the bytes themselves, for a small log) or read
// again from the file and checked against the sums.
struct LogSnapshot {
    std::shared_ptr<const LogBytes> bytes;
    std::shared_ptr<const PageSums> sums; // null: the bytes are held and cannot change
};

// A scan's input that takes the checksums of the pages it reads, as it reads them, and keeps the
// bytes too where asked. Bytes read again (a long line is read twice) are taken once.
class SnapshotInput : public ScanInput {
public:
    // keep: where the bytes go when they are to be held, or null.
    SnapshotInput(ScanInput& input, PageSums& sums, std::string* keep = nullptr);

    bool isOpen() const override { return m_input.isOpen(); }
    std::string openFailure() const override { return m_input.openFailure(); }
    std::int64_t read(char* data, size_t size) override;
    std::int64_t remaining() const override { return m_input.remaining(); }
    bool seekable() const override { return m_input.seekable(); }
    std::int64_t offset() const override { return m_input.offset(); }
    bool seekTo(std::int64_t offset) override { return m_input.seekTo(offset); }

    // A reading on from where an earlier one ended: the page at `pageStart` is summed again
    // from its start, `before` being its bytes up to where this input begins (none when it
    // begins before the page).
    void resume(std::int64_t pageStart, std::string_view before);
    // The reading has ended. At the end of the file the last page's part is taken; where the
    // reading ends before it (another reading goes on from there), that page is left unknown.
    void finish(bool atFileEnd);
    // Whether the bytes kept are all that was read, from the start.
    bool keptWhole() const { return m_keep && m_keeping; }

private:
    void take(std::int64_t at, const char* data, size_t size);

    ScanInput& m_input;
    PageSums& m_sums;
    std::string* m_keep;
    bool m_keeping = true;
    std::int64_t m_next = -1;  // where the next byte to take stands
    std::string m_page;        // the bytes of the page being read, from its start
    bool m_skipping = false;   // inside the page the reading began in
};

// A part [from, until) of a log's bytes as a scan's input, each page checked against its sum
// as it is read. A page that no longer holds what was read ends the input with an error and
// changed() set.
class CheckedInput : public ScanInput {
public:
    CheckedInput(const LogBytes& bytes, const PageSums& sums, std::int64_t from, std::int64_t until);

    bool isOpen() const override { return true; }
    std::string openFailure() const override { return {}; }
    std::int64_t read(char* data, size_t size) override;
    std::int64_t remaining() const override { return m_until - m_offset; }
    bool seekable() const override { return true; }
    std::int64_t offset() const override { return m_offset; }
    bool seekTo(std::int64_t offset) override;

    bool changed() const { return m_changed; }

private:
    // Reads and checks the pages from the one that holds m_offset on.
    bool fill();

    const LogBytes& m_bytes;
    const PageSums& m_sums;
    std::int64_t m_from;
    std::int64_t m_offset;
    std::int64_t m_until;
    std::string m_buffer;            // checked bytes from m_bufferStart on
    std::int64_t m_bufferStart = 0;
    bool m_changed = false;
};

} // namespace vrx
