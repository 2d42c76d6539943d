# The block settings pane and the comparison of two blocks, against the simulator on the
# virtual clock; the settings view offscreen.
add_executable(settings_pane_tests ${CMAKE_CURRENT_LIST_DIR}/../directaccess/settings_pane_test.cpp)
target_link_libraries(settings_pane_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
target_include_directories(settings_pane_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
add_dependencies(settings_pane_tests kelvaneproj)
gtest_discover_tests(settings_pane_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

if(TARGET ombrix_gui)
  add_executable(settings_view_gui_test ${CMAKE_CURRENT_LIST_DIR}/../directaccess/settings_view_gui_test.cpp)
  target_link_libraries(settings_view_gui_test PRIVATE ombrix_gui ombrix_sim GTest::gtest)
  add_dependencies(settings_view_gui_test kelvaneproj)
  # One test: listing the cases would need a display before the environment applies.
  add_test(NAME settings_view_gui_test COMMAND settings_view_gui_test)
  set_tests_properties(settings_view_gui_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS threaded)
endif()
