target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CompareWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DirectAccessView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DirectImages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EditSourceDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ForceBlockPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ForcePanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GeneralWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InfoStrip.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IrisPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LineWork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TabbedPages.cpp
)
target_sources(ombrix_gui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SelectionPanel.cpp)
