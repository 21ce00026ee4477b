#pragma once
// The log box's text as others take it: the clipboard and the X selection get a selection that
// is made into text only when someone pastes it; screen readers get the parts they ask for.

#include "core/DisplayLines.h"

#include <QMimeData>
#include <QString>
#include <QtGlobal>

#include <memory>

namespace vrx {

// The most characters handed over at once, to the clipboard or to a screen reader: 16 Mi
// characters, some 50 MB as UTF-8 and far more than anyone reads or pastes. A larger request
// is refused rather than served, since text of the size of a huge log (gigabytes) could not be
// made at all, or only after a long freeze, by this program and again by the one that asked.
inline constexpr qint64 MaxTextRequest = qint64(16) << 20;

// The text from start to end of the lines joined by '\n'. A text that ends with a line end has
// one more character than its lines joined, the line end itself.
QString textOf(const DisplayLines& lines, qint64 start, qint64 end);

// A selection as clipboard data, made only when someone asks for it: a log of a million lines
// selected whole would otherwise be decoded into the clipboard at every Select All.
class SelectedText : public QMimeData {
public:
    SelectedText(std::shared_ptr<const DisplayLines> lines, qint64 start, qint64 end);
    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::shared_ptr<const DisplayLines> m_lines;
    qint64 m_start;
    qint64 m_end;
};

} // namespace vrx
