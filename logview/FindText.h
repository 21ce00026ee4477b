#pragma once
// Finding a text in the display text, the Windows-1252 bytes of the lines in memory.

#include "core/DisplayLines.h"
#include "logview/BackgroundTask.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vrx {

// What the find window asks for.
struct FindRequest {
    QString text;
    bool matchCase = false;
    bool down = true;
    // Only where the text is a word of its own: no letter, digit or underscore either side.
    bool wholeWord = false;
    // The line that holds the match is selected, not the match alone.
    bool selectLine = false;
};

// Where `text` occurs in the display text (Windows-1252, lines joined by CR LF), as a byte
// offset. Down: the first match that starts at `from` or later. Up: the last match that ends
// at `from` or earlier. Without matchCase, letters match their other case as Windows-1252 has
// them (a matches A, ä matches Ä, ÿ matches Ÿ). Nothing for an empty text, or for a text with a
// character Windows-1252 cannot hold: no log shows such a character.
// A match is as many bytes long as the text has characters.
std::optional<size_t> findInDisplayText(std::string_view bytes, const QString& text, size_t from,
                                        bool matchCase, bool down);

// How far a search has come, and the word to stop it, between two threads.
struct FindProgress {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> linesSearched{0};
    std::atomic<std::uint64_t> linesToSearch{0};   // set once the search has begun
};

// The same in the lines of a log, offsets counted in the lines joined by one character each:
// where the match begins. With a progress, nothing once it is told to stop. Down, the lines
// before `limit` are searched; up, the lines from `limit` on.
std::optional<std::uint64_t> findInLines(const DisplayLines& lines, const QString& text, std::uint64_t from,
                                         bool matchCase, bool down, FindProgress* progress = nullptr,
                                         size_t limit = size_t(-1), bool wholeWord = false);

// A search on a thread of its own, over a copy of the lines (which shares their index and
// bytes), so that the window answers while a large log is searched.
class FindRun : public BackgroundTask {
    Q_OBJECT
public:
    // Starts at once: from the offset `from` down, or up to it.
    FindRun(const DisplayLines& lines, FindRequest request, std::uint64_t from, QObject* parent = nullptr);
    // Stops the search and waits for its thread.
    ~FindRun() override;

    void stop();
    // How far it has come, 0 to 100.
    int percent() const;

    // Once done.
    const FindRequest& request() const { return m_request; }
    const std::optional<std::uint64_t>& match() const { return m_match; }
    // The memory to search the log could not be had.
    bool outOfMemory() const { return m_outOfMemory; }
    // Whether the lines searched read as they did when they were found: a search of a log that
    // changed meanwhile has no answer.
    bool linesIntact() const { return m_lines.intact(); }

private:
    std::optional<std::uint64_t> search();

    DisplayLines m_lines;
    FindRequest m_request;
    std::uint64_t m_from;
    FindProgress m_progress;
    FindProgress m_farProgress;   // of the half that a large log's search makes on another thread
    std::optional<std::uint64_t> m_match;
    bool m_outOfMemory = false;
};

} // namespace vrx
