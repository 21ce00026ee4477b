# The sources of vrx_logview, listed once.
set(VRX_LOGVIEW_SOURCES
  BackgroundTask.cpp BackgroundTask.h
  FindForm.cpp FindForm.h
  FindText.cpp FindText.h
  CaretNavigation.cpp CaretNavigation.h
  LogTextAccessible.cpp LogTextAccessible.h
  LogTextView.cpp LogTextView.h
  ScrollBarMapping.h
  SelectedText.cpp SelectedText.h
  TextRows.cpp TextRows.h
  LogLoad.cpp LogLoad.h
  LogView.cpp LogView.h)
list(TRANSFORM VRX_LOGVIEW_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
