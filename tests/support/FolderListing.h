#pragma once
// A snapshot of a folder for tests that must prove nothing on disk changed.

#include <QStringList>

namespace vrx::test {

// Every entry below a folder: kind, size, modification time and, for files, a digest of the
// bytes. Symbolic links are listed as links, not followed.
QStringList folderListing(const QString& folder);

} // namespace vrx::test
