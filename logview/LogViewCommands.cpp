#include "LogViewCommands.h"

#include "Platform.h"

namespace vrx {

LogViewCommands::LogViewCommands(Platform& platform, const LogViewWidgets& widgets)
    : m_platform(platform), m_w(widgets)
{
}

void LogViewCommands::LoadLogFile_Click(QString&) {}
void LogViewCommands::openChosenLog(const QString&, const QString&, QString&) {}
void LogViewCommands::ShowTestStatus_Click() {}
void LogViewCommands::ClearTests_Click() {}
bool LogViewCommands::ClearScreenQuery() { return true; }
void LogViewCommands::ResetDisplay() {}

} // namespace vrx
