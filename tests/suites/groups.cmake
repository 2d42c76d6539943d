# Groups of projectors: the group table, the grouping file and the target lists; group
# work on the in-process simulator.
find_package(nlohmann_json 3.10 REQUIRED)
set(_groups ${CMAKE_CURRENT_LIST_DIR}/../groups)
add_executable(groups_tests ${_groups}/groups_test.cpp)
target_link_libraries(groups_tests PRIVATE ombrix_core GTest::gtest_main)
gtest_discover_tests(groups_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

add_executable(group_cli_tests ${_groups}/group_cli_test.cpp)
target_link_libraries(group_cli_tests PRIVATE ombrix_core ombrix_sim ombrix_cli nlohmann_json::nlohmann_json
                      GTest::gtest_main)
add_dependencies(group_cli_tests kelvaneproj)
gtest_discover_tests(group_cli_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

add_executable(group_work_tests ${_groups}/group_work_test.cpp)
target_link_libraries(group_work_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
add_dependencies(group_work_tests kelvaneproj kelvanebmp)
gtest_discover_tests(group_work_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(groups_gui_test ${_groups}/groups_gui_test.cpp)
  set_target_properties(groups_gui_test PROPERTIES AUTOMOC ON)
  target_link_libraries(groups_gui_test PRIVATE ombrix_gui Qt6::Test)
  add_dependencies(groups_gui_test kelvaneproj)
  add_test(NAME groups_gui_test COMMAND groups_gui_test)
  set_tests_properties(groups_gui_test PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

if(TARGET ombrix_gui)
  add_executable(group_windows_tests ${_groups}/group_windows_test.cpp)
  set_target_properties(group_windows_tests PROPERTIES AUTOMOC ON)
  target_link_libraries(group_windows_tests PRIVATE ombrix_gui ombrix_sim Qt6::Test GTest::gtest)
  target_compile_definitions(group_windows_tests PRIVATE OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
  add_dependencies(group_windows_tests kelvaneproj kelvanebmp)
  gtest_discover_tests(group_windows_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
