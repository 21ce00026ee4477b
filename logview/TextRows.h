#pragma once
// The lines of the log box laid out in rows at a width: a line wraps onto as many rows as it
// needs. Only the lines asked for are laid out (those on the screen, those the caret crosses),
// so a log of millions of lines costs no more than its screen.
//
// The lines are those of a line model as the box shows them: a text that ends with a line end
// has one more, empty, line after it.

#include "core/DisplayLines.h"

#include <QFont>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>

class QPaintDevice;
class QTextLayout;

namespace vrx {

// A place in the lines: before the character `column` of `line`.
struct TextPlace {
    size_t line = 0;
    qsizetype column = 0;
    bool operator==(const TextPlace&) const = default;
    bool operator<(const TextPlace& o) const { return line < o.line || (line == o.line && column < o.column); }
};

class TextRows {
public:
    // A line longer than this is shown in rows of as many characters as fit, each laid out on
    // its own when it is on the screen: laying out a line of millions of characters at once
    // would take seconds and more memory than the log.
    static constexpr qsizetype LongLineCharacters = 8192;

    TextRows();
    ~TextRows();

    // The lines and the font, each of which forgets the layouts. Lines are laid out for device
    // (a widget), or for the screen when it is null.
    void setLines(std::shared_ptr<const DisplayLines> lines);
    void setFont(const QFont& font, QPaintDevice* device = nullptr);
    // The width of a row in pixels, asked for whenever a line is laid out: a box's width
    // follows its viewport's.
    void setWidth(std::function<int()> width) { m_width = std::move(width); }
    void setWidth(int width) { m_width = [width] { return width; }; }
    int width() const { return std::max(1, m_width()); }

    const DisplayLines& lines() const { return *m_lines; }
    const std::shared_ptr<const DisplayLines>& sharedLines() const { return m_lines; }
    size_t lineCount() const { return m_lines->count() + (m_lines->endsWithLineEnd() ? 1 : 0); }
    bool isEmpty() const { return lineCount() == 0; }
    std::string_view lineText(size_t line) const
    {
        return line < m_lines->count() ? m_lines->line(line) : std::string_view();
    }
    // Characters of a line (one for each byte).
    qsizetype lineLength(size_t line) const { return laid(line).length; }

    int rowHeight() const;
    // Characters in a row of a long line.
    qsizetype rowCharacters() const;
    int rowsOf(size_t line) const;

    // One row: a line of a layout, whose text begins at the line's column `first`.
    struct Row {
        QTextLayout* layout;
        int index;
        qsizetype first;
    };
    Row row(size_t line, int index) const;
    // The row of its line that holds a place.
    int rowOf(const TextPlace& place) const;
    // Brings a row counted from a line's first (negative, or past its last) onto the line that
    // holds it, clamped to the text: -1 when clamped at its start, 1 at its end, else 0.
    int settleRow(size_t& line, int& row) const;
    // The place in a row nearest to x (pixels from the row's left edge).
    TextPlace placeInRow(size_t line, int row, qreal x) const;
    // A place's x in its row.
    qreal xOf(const TextPlace& place) const;

    // Layouts kept now; the caller forgets them when too many pile up.
    size_t laidCount() const { return m_laid.size(); }
    void forget();

private:
    // A line laid out at the width; only the lines asked for are.
    struct Laid {
        qsizetype length = 0;                 // characters of the line
        std::unique_ptr<QTextLayout> layout;  // null for a long line, shown in rows of its own
        mutable std::unordered_map<int, std::unique_ptr<QTextLayout>> segments; // a long line's rows
    };
    const Laid& laid(size_t line) const;

    std::shared_ptr<const DisplayLines> m_lines;
    QFont m_font;
    QPaintDevice* m_device = nullptr;
    std::function<int()> m_width = [] { return 1; };
    mutable std::unordered_map<size_t, Laid> m_laid;
};

} // namespace vrx
