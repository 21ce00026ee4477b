# The sources of the platform layer, listed once: the main build and the fuzz project (a separate
# clang project with sanitizers) both take them from here. Two libraries, on the file layer
# (files/) for everything that touches a file:
#   vrx_system    no widgets (Qt Core only): file names as the system spells them, the log and
#                 status files on such paths, the system's reasons; what the fuzz targets read with
#   vrx_platform  what talks to the user on the desktop
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
list(TRANSFORM VRX_SYSTEM_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VRX_PLATFORM_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
