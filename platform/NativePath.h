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

// A path as messages show it: native separators, and control characters (and bytes of no
// valid UTF-8) written as \n, \t, \r or \xNN, so a name cannot drive a terminal or break lines.
QString shownPath(const QString& path);

// A path as Qt gives it from a file dialog or a dropped address, where each byte of no valid
// UTF-8 became U+FFFD: the file's own name (as pathFromNativeBytes spells it) when the path does
// not exist as given and exactly one name in each folder reads that way. Otherwise the path.
QString resolveReplacedPath(const QString& path);

} // namespace vrx
