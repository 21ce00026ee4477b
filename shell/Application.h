#pragma once
// Start-up values of the main window and its one persistent setting.

#include <QString>

namespace vrx {

class Platform;

// "View & Print VRX Log Files, v1.3 - Jan 2025 / QX"
QString mainCaption();

// The folder the open dialog starts in: the stored "Settings"/"DefaultPath" when that still
// exists, else the per-user data folder when it exists, else the user's home folder.
// Nothing is created or written.
QString establishDefaultDir(Platform& platform);

// Writes DefaultDir at exit, only when it differs (case-sensitively) from the value at start.
// Returns true when it wrote.
bool saveDefaultDirIfChanged(Platform& platform, const QString& savedDefaultDir, const QString& defaultDir);

// A label caption as the user sees it: "&&" is one literal ampersand, a single "&" only marks
// an access key and is not shown. Labels here have no buddy, so they show plain text.
QString captionToLabelText(const QString& caption);

} // namespace vrx
