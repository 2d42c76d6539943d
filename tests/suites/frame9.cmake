# The main frame: its tables without a display, its window offscreen.
add_executable(frame_tables_test ${CMAKE_CURRENT_LIST_DIR}/../unit/frame_tables_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../unit/help_topics_test.cpp)
target_link_libraries(frame_tables_test PRIVATE ombrix_core GTest::gtest_main)
target_compile_definitions(frame_tables_test PRIVATE OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
gtest_discover_tests(frame_tables_test DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(frame_gui_test ${CMAKE_CURRENT_LIST_DIR}/../gui/frame_gui_test.cpp)
  set_target_properties(frame_gui_test PROPERTIES AUTOMOC ON)
  target_link_libraries(frame_gui_test PRIVATE ombrix_gui Qt6::Test)
  add_dependencies(frame_gui_test kelvanebmp kelvaneproj)
  add_test(NAME frame_gui_test COMMAND frame_gui_test)
  set_tests_properties(frame_gui_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
