# The sources of the file layer, listed once: the main build and the fuzz project (a separate
# clang project with sanitizers) both take them from here. Each system's half beside the
# other's: FilesPosix.cpp and FilesWindows.cpp.
set(VRX_FILES_SOURCES
  Files.h
  LogSource.cpp LogSource.h
  ReadFile.cpp ReadFile.h
  Readers.cpp Readers.h)
if(WIN32)
  list(APPEND VRX_FILES_SOURCES FilesWindows.cpp)
else()
  list(APPEND VRX_FILES_SOURCES FilesPosix.cpp)
endif()
list(TRANSFORM VRX_FILES_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
