# Direct access: adjustment, comparison, force, sources, force block and IRIS against
# the in-process simulator on the virtual clock.
set(_direct ${CMAKE_CURRENT_LIST_DIR}/../directaccess)
add_executable(direct_tests ${_direct}/adjust_test.cpp ${_direct}/panels_test.cpp)
target_link_libraries(direct_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
add_dependencies(direct_tests kelvaneproj)
gtest_discover_tests(direct_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

# The IRIS worker on its own thread, on a scaled clock.
add_executable(direct_threaded_tests ${_direct}/iris_thread_test.cpp)
target_link_libraries(direct_threaded_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
add_dependencies(direct_threaded_tests kelvaneproj)
gtest_discover_tests(direct_threaded_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS threaded)

if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(direct_gui_test ${_direct}/direct_gui_test.cpp)
  set_target_properties(direct_gui_test PROPERTIES AUTOMOC ON)
  target_link_libraries(direct_gui_test PRIVATE ombrix_gui ombrix_sim Qt6::Test)
  target_compile_definitions(direct_gui_test PRIVATE OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
  add_dependencies(direct_gui_test kelvanebmp kelvaneproj)
  add_test(NAME direct_gui_test COMMAND direct_gui_test)
  set_tests_properties(direct_gui_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
