# The sources of vrx_platform, listed once: the main build and the fuzz project (a separate
# clang project with sanitizers) both take them from here. The fuzz targets read files and need
# only the part on Qt Core alone, which comes first.
set(VRX_PLATFORM_CORE_SOURCES
  DisplayText.cpp DisplayText.h
  NativePath.cpp NativePath.h
  Platform.cpp Platform.h)
set(VRX_PLATFORM_SOURCES
  ${VRX_PLATFORM_CORE_SOURCES}
  Identity.h
  Twips.cpp Twips.h
  FormStyle.cpp FormStyle.h
  ProcessStart.cpp ProcessStart.h
  QtPlatform.cpp QtPlatform.h
  WindowSystemStart.cpp WindowSystemStart.h
  Download.cpp Download.h)
list(TRANSFORM VRX_PLATFORM_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VRX_PLATFORM_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
