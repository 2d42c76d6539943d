target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/BlockListView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockPanes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockTableModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InfoTabs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LineWork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OptionInfoPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaneTitle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProjectorInfoPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProjectorTreeModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProjectorTreeView.cpp
)
target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AddProjectorDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GroupDialog.cpp
)
