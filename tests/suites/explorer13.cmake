# The explorer and the editor: core rules, and the windows offscreen.
add_executable(explorer_tests
  ${CMAKE_CURRENT_LIST_DIR}/../unit/editor_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../unit/explorer_test.cpp
)
target_link_libraries(explorer_tests PRIVATE ombrix_core GTest::gtest_main)
target_compile_definitions(explorer_tests PRIVATE OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(explorer_tests kelvaneproj)
gtest_discover_tests(explorer_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(explorer_gui_test ${CMAKE_CURRENT_LIST_DIR}/../gui/explorer_gui_test.cpp)
  set_target_properties(explorer_gui_test PROPERTIES AUTOMOC ON)
  target_include_directories(explorer_gui_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../gui)
  target_link_libraries(explorer_gui_test PRIVATE ombrix_gui Qt6::Test)
  add_dependencies(explorer_gui_test kelvanebmp kelvaneproj)
  add_test(NAME explorer_gui_test COMMAND explorer_gui_test)
  set_tests_properties(explorer_gui_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
