# The communication window: its layout rules and opening steps in the core, and the
# window itself offscreen against the in-process simulator.
set(_comm_dir ${CMAKE_CURRENT_LIST_DIR}/../comm)

add_executable(comm_core_tests ${_comm_dir}/comm_layout_test.cpp ${_comm_dir}/comm_session_test.cpp)
target_link_libraries(comm_core_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
add_dependencies(comm_core_tests kelvaneproj)
gtest_discover_tests(comm_core_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(comm_window_tests ${_comm_dir}/comm_window_test.cpp)
  set_target_properties(comm_window_tests PROPERTIES AUTOMOC ON)
  target_link_libraries(comm_window_tests PRIVATE ombrix_gui ombrix_sim Qt6::Test GTest::gtest)
  add_dependencies(comm_window_tests kelvaneproj kelvanebmp)
  gtest_discover_tests(comm_window_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
