target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/HelpWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MdiClient.cpp
)
# The help pages travel inside the program.
file(GLOB _help_pages ${PROJECT_SOURCE_DIR}/data/help/*.html)
qt_add_resources(ombrix_gui ombrix_help PREFIX /help BASE ${PROJECT_SOURCE_DIR}/data/help
  FILES ${_help_pages})
