#pragma once
// A printer object for tests: keeps the position like a real one and records every
// document, page and printed text.

#include "platform/DisplayText.h"
#include "print/PrintModule.h"

#include <QList>
#include <QStringList>

namespace vrx::test {

// The lines of a display text given as text (lines parted by CR LF), as the layout takes them.
inline DisplayLines linesOf(const QString& text)
{
    return DisplayLines(encodeWindows1252(text));
}

struct PrintedText {
    QString text;
    float x = 0;   // twips, where the text starts
    float y = 0;
    QRgb colour = 0;
    QString fontName;
    float fontSize = 0;
};

using PrintedPage = QList<PrintedText>;
using PrintedDocument = QList<PrintedPage>;

class RecordingPrinter : public Printer {
public:
    // Every operation in order, e.g. "print A", "newPage", "endDoc".
    QStringList operations;
    // Documents ended so far, and the one under way (empty until something is printed).
    QList<PrintedDocument> documents;
    PrintedDocument current;
    int endDocCalls = 0;
    QString name = QStringLiteral("Recorder");
    // The job name of each document ended with pages on it.
    QStringList jobNames;
    QString jobName;
    // A4 with no unprintable edge.
    QSizeF printable{11906, 16838};
    // Width of one character in twips (10-point fixed pitch: 6 points).
    float charWidth = 120;

    void setFontName(const QString& fontName) override
    {
        m_fontName = fontName;
        operations << QStringLiteral("fontName ") + fontName;
    }
    void setFontSize(float points) override
    {
        m_fontSize = points;
        operations << QStringLiteral("fontSize ") + QString::number(points);
    }
    float currentX() const override { return m_x; }
    void setCurrentX(float twips) override { m_x = twips; }
    float currentY() const override { return m_y; }
    void setCurrentY(float twips) override { m_y = twips; }
    void setForeColor(QRgb colour) override { m_colour = colour; }
    void print(const QString& text) override
    {
        if (current.isEmpty())
            current.append(PrintedPage());
        current.last().append(PrintedText{text, m_x, m_y, m_colour, m_fontName, m_fontSize});
        operations << QStringLiteral("print ") + text;
        m_x += charWidth * text.size();
    }
    void newPage() override
    {
        if (current.isEmpty())
            current.append(PrintedPage());
        current.append(PrintedPage());
        operations << QStringLiteral("newPage");
        m_x = m_y = 0;
    }
    void endDoc() override
    {
        ++endDocCalls;
        operations << QStringLiteral("endDoc");
        if (!current.isEmpty()) {
            documents.append(current);
            jobNames.append(jobName);
        }
        current.clear();
        m_x = m_y = 0;
    }
    QString deviceName() const override { return name; }
    void setJobName(const QString& jobName_) override { jobName = jobName_; }
    QSizeF printableSize() const override { return printable; }

private:
    QString m_fontName;
    float m_fontSize = 0;
    float m_x = 0;
    float m_y = 0;
    QRgb m_colour = 0;
};

} // namespace vrx::test
