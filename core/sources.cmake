# The sources of vrx_core, listed once: the main build and the fuzz project (a separate clang
# project with sanitizers) both take them from here.
set(VRX_CORE_SOURCES
  ByteScan.h
  ConvertLogLine.cpp ConvertLogLine.h
  DisplayLines.cpp DisplayLines.h
  LineIndex.cpp LineIndex.h
  LogFailure.cpp LogFailure.h
  LogReader.cpp LogReader.h
  LogScanner.cpp LogScanner.h
  LogSnapshot.cpp LogSnapshot.h
  PageLayout.cpp PageLayout.h
  ProgramIdentity.cpp ProgramIdentity.h
  StatusFile.cpp StatusFile.h
  Utf8.h
  VersionFile.cpp VersionFile.h
  Windows1252.cpp Windows1252.h)
list(TRANSFORM VRX_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
# Includes name their layer ("core/LogReader.h"): the repository root is the include root.
set(VRX_CORE_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
