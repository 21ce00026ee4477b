#include "core/LogReader.h"


namespace vrx {

namespace {

// Keeps the whole display text.
class KeptText : public LogSink {
public:
    std::string kept;
    void text(std::string_view piece) override { kept.append(piece); }
};

// Hands the display text on as strings.
class TextPieces : public LogSink {
public:
    explicit TextPieces(const LogTextSink& sink) : m_sink(sink) {}
    void text(std::string_view piece) override
    {
        m_piece.assign(piece);
        m_sink(m_piece);
    }

private:
    const LogTextSink& m_sink;
    std::string m_piece;
};

// Hands text bytes on as they are.
class BytePieces : public LogSink {
public:
    explicit BytePieces(const TextBytesSink& sink) : m_sink(sink) {}
    void text(std::string_view piece) override
    {
        if (m_sink)
            m_sink(piece);
    }

private:
    const TextBytesSink& m_sink;
};

LogRead keepText(KeptText& sink, LogRead read)
{
    read.text = std::move(sink.kept);
    return read;
}

constexpr size_t KeptPiece = 1 << 20;

} // namespace

LogRead streamLog(ScanInput& file, const std::string& name, const LogTextSink& sink, size_t pieceSize,
                  LongLines longLines)
{
    ScanOptions options;
    options.longLines = longLines;
    if (!sink) {
        KeptText kept;
        options.pieceSize = KeptPiece;
        return keepText(kept, scanLog(file, name, kept, options));
    }
    TextPieces pieces(sink);
    options.pieceSize = pieceSize;
    return scanLog(file, name, pieces, options);
}

LogRead streamLogUtf8(ScanInput& file, const std::string& name, LineEnds lineEnds, const TextBytesSink& sink,
                      size_t pieceSize, LongLines longLines)
{
    BytePieces pieces(sink);
    ScanOptions options;
    options.text = ScanText::Utf8;
    options.lineEnds = lineEnds;
    options.pieceSize = pieceSize;
    options.longLines = longLines;
    return scanLog(file, name, pieces, options);
}

LogRead checkLog(ScanInput& file, const std::string& name)
{
    LogSink none;
    ScanOptions options;
    options.text = ScanText::None;
    options.pieceSize = 0;
    return scanLog(file, name, none, options);
}

LogRead convertLog(std::string_view bytes, const std::string& fileName)
{
    KeptText sink;
    ScanOptions options;
    options.pieceSize = KeptPiece;
    return keepText(sink, scanLog(bytes, fileName, sink, options));
}

} // namespace vrx
