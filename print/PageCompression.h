#pragma once
// Quicker compression of the pages Qt's PDF writer produces, while a document is drawn.

namespace vrx {

// While one of these exists, a zlib stream that asks for the default level (Qt's PDF
// writer asks for it for every page) is compressed at level 3 instead. A page of log text is
// some 50 KB of glyph positions, and at the default level deflating them takes as long as
// producing them; level 3 takes about half as long for pages some quarter larger.
//
// It works where the program's own deflateInit_ takes the place of zlib's for Qt's call:
// on Linux and the other ELF systems, with zlib as a library of its own. Elsewhere pages are
// compressed as before. Scopes may nest and overlap on several threads.
class QuickPageCompression {
public:
    QuickPageCompression();
    ~QuickPageCompression();
    QuickPageCompression(const QuickPageCompression&) = delete;
    QuickPageCompression& operator=(const QuickPageCompression&) = delete;

    // Whether a stream started now at the default level would get the quicker one.
    static bool active();
};

} // namespace vrx
