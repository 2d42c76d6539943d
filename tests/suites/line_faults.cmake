# Stray bytes where the acknowledgement belongs, late acknowledgements, dead lines for
# search and watch, and files of the line and the search that cannot be read.
add_executable(line_faults_tests
  ${CMAKE_CURRENT_LIST_DIR}/../integration/cli_faults_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../trust/unreadable_test.cpp
)
target_link_libraries(line_faults_tests PRIVATE ombrix_core ombrix_sim ombrix_cli GTest::gtest_main)
add_dependencies(line_faults_tests kelvaneproj)
gtest_discover_tests(line_faults_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)
