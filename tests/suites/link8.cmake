# The line under faults: answers checked against their request, bounded waits and
# queues, lost lines, and the fault matrix through real ptys and TCP.
add_executable(line_trust_tests
  ${CMAKE_CURRENT_LIST_DIR}/../integration/line_trust_test.cpp
)
target_link_libraries(line_trust_tests PRIVATE ombrix_core ombrix_sim ombrix_cli GTest::gtest_main)
add_dependencies(line_trust_tests kelvaneproj)
gtest_discover_tests(line_trust_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

add_executable(line_threads_tests ${CMAKE_CURRENT_LIST_DIR}/../integration/line_threads_test.cpp)
target_link_libraries(line_threads_tests PRIVATE ombrix_core ombrix_sim ombrix_cli GTest::gtest_main)
add_dependencies(line_threads_tests kelvaneproj)
gtest_discover_tests(line_threads_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS threaded)

add_executable(fault_matrix_tests
  ${CMAKE_CURRENT_LIST_DIR}/../integration/fault_matrix_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../integration/line_device_test.cpp
)
target_link_libraries(fault_matrix_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
gtest_discover_tests(fault_matrix_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS faults)

add_executable(line_lost_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/../e2e/line_lost_test.cpp)
target_link_libraries(line_lost_e2e_tests PRIVATE ombrix_core GTest::gtest_main)
target_compile_definitions(line_lost_e2e_tests PRIVATE OMBRIX_BIN_DIR="$<TARGET_FILE_DIR:ombrix-cli>")
add_dependencies(line_lost_e2e_tests ombrix-cli kelvaneproj)
gtest_discover_tests(line_lost_e2e_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)
