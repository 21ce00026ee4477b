#pragma once
// File names as the system spells them. A name is bytes; most are UTF-8, but logs copied from
// DOS media carry Latin-1 names, which Qt's text for a name cannot hold. These functions keep
// every byte, so such a file can be opened and named in messages.

#include <QByteArray>
#include <QString>

namespace vrx {

// A path as the system spells it: the UTF-8 of the name, where each byte of a name that is no
// valid UTF-8 (a Latin-1 name from DOS media) was kept as U+DC80..U+DCFF by pathFromNativeBytes.
QByteArray nativePathBytes(const QString& path);

// The name the system gave, as text that nativePathBytes turns back into the same bytes.
QString pathFromNativeBytes(const QByteArray& bytes);

// How shownText() shows a character that must not reach a terminal or a message box as it is.
enum class UnsafeShown {
    // As an escape: \n, \t, \r; \xNN for the other C0 controls, DEL and a byte of no valid
    // UTF-8; \uNNNN or \UNNNNNNNN for any other; a backslash itself as \\. Two different texts
    // never show the same.
    Escaped,
    // As U+FFFD; a tab stays.
    Replaced,
};

// Text from outside (a file name, a server's answer) as it is safe to show: control characters
// (C0, DEL, C1), line and paragraph separators, format characters (the marks that turn the
// direction of text, zero-width characters, ...) and bytes of no valid UTF-8 (U+DC80..U+DCFF, as
// pathFromNativeBytes keeps them, or any other lone surrogate) are made visible, so that a text
// can neither drive a terminal, break a line, turn the text after it round nor hide a part.
QString shownText(QStringView text, UnsafeShown how);

// A path as messages show it: native separators, and what shownText() escapes escaped, so a
// name cannot drive a terminal or break lines, and two names never read the same. On Windows,
// where a backslash parts the folders, it stays as it is.
QString shownPath(const QString& path);

// A path as Qt gives it from a file dialog or a dropped address, where each byte of no valid
// UTF-8 became U+FFFD: the file's own name (as pathFromNativeBytes spells it) when the path does
// not exist as given and exactly one name in each folder reads that way. Otherwise the path.
QString resolveReplacedPath(const QString& path);

} // namespace vrx
