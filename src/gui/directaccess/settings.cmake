target_sources(ombrix_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SettingsView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPaneView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BlockComparisonView.cpp
)
