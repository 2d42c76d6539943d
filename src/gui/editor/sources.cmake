find_package(Qt6 REQUIRED COMPONENTS PrintSupport)
target_link_libraries(ombrix_gui PUBLIC Qt6::PrintSupport)
target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EditorPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FindDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextPrinter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowUi.cpp
)
