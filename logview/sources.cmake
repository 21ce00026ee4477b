# The sources of vrx_logview, listed once: the main build and the fuzz project (a separate
# clang project with sanitizers) both take them from here. The fuzz targets read log and status
# files and need only the part on Qt Core alone, which comes first.
set(VRX_LOGVIEW_CORE_SOURCES
  LogFiles.cpp LogFiles.h)
set(VRX_LOGVIEW_SOURCES
  ${VRX_LOGVIEW_CORE_SOURCES}
  FindForm.cpp FindForm.h
  FindText.cpp FindText.h
  CaretNavigation.cpp CaretNavigation.h
  LogTextAccessible.cpp LogTextAccessible.h
  LogTextView.cpp LogTextView.h
  ScrollBarMapping.h
  SelectedText.cpp SelectedText.h
  TextRows.cpp TextRows.h
  LogView.cpp LogView.h)
list(TRANSFORM VRX_LOGVIEW_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
list(TRANSFORM VRX_LOGVIEW_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
