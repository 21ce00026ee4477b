# The sources of the platform layer, listed once: the main build and the fuzz project (a separate
# clang project with sanitizers) both take them from here. Three libraries:
#   vrx_files     the system's calls behind the files vrxlog writes, without Qt; each system's
#                 half beside the other's (FilesPosix.cpp, FilesWindows.cpp)
#   vrx_system    no widgets (Qt Core only): file names as the system spells them, the log and
#                 status files on such paths, the system's reasons; what the fuzz targets read with
#   vrx_platform  what talks to the user on the desktop
if(WIN32)
  set(VRX_FILES_SOURCES Files.h FilesWindows.cpp)
else()
  set(VRX_FILES_SOURCES Files.h FilesPosix.cpp)
endif()
set(VRX_SYSTEM_SOURCES
  Identity.h
  DisplayText.cpp DisplayText.h
  LogFiles.cpp LogFiles.h
  NativePath.cpp NativePath.h
  SystemReason.cpp SystemReason.h)
set(VRX_PLATFORM_SOURCES
  Platform.cpp Platform.h
  Twips.cpp Twips.h
  FormStyle.cpp FormStyle.h
  ProcessStart.cpp ProcessStart.h
  QtPlatform.cpp QtPlatform.h
  WindowSystemStart.cpp WindowSystemStart.h
  Download.cpp Download.h)
list(TRANSFORM VRX_FILES_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VRX_SYSTEM_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VRX_PLATFORM_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
