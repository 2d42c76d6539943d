# The on-screen handset: key actions on the virtual clock, the held key on a scaled
# clock with threads, and one window on the in-process simulator.
add_executable(remote_tests ${CMAKE_CURRENT_LIST_DIR}/../integration/remote_keys_test.cpp)
target_link_libraries(remote_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
add_dependencies(remote_tests kelvaneproj)
gtest_discover_tests(remote_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

add_executable(remote_threaded_tests ${CMAKE_CURRENT_LIST_DIR}/../integration/remote_repeat_test.cpp)
target_link_libraries(remote_threaded_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
gtest_discover_tests(remote_threaded_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS threaded)

if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(remote_gui_test ${CMAKE_CURRENT_LIST_DIR}/../gui/remote_gui_test.cpp)
  set_target_properties(remote_gui_test PROPERTIES AUTOMOC ON)
  target_include_directories(remote_gui_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../gui)
  target_link_libraries(remote_gui_test PRIVATE ombrix_gui ombrix_sim Qt6::Test)
  add_dependencies(remote_gui_test kelvanebmp kelvaneproj)
  add_test(NAME remote_gui_test COMMAND remote_gui_test)
  set_tests_properties(remote_gui_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
