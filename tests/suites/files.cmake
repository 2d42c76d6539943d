# Trust in files: the atomic writer, options.cfg, address sets and the search plan,
# settings files, and processes killed while they save.
add_executable(trust_tests
  ${CMAKE_CURRENT_LIST_DIR}/../trust/files_trust_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../trust/search_trust_test.cpp
)
target_link_libraries(trust_tests PRIVATE ombrix_core ombrix_sim ombrix_cli GTest::gtest_main)
add_dependencies(trust_tests kelvaneproj)
gtest_discover_tests(trust_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

# The block tests load the image library with the program's start-up.
add_dependencies(blocks_tests kelvanebmp)

# Processes killed with SIGKILL while they save: the option saver below, and
# ombrix-cli against ombrix-sim on a pseudo-terminal.
add_executable(options_saver ${CMAKE_CURRENT_LIST_DIR}/../trust/options_saver.cpp)
target_link_libraries(options_saver PRIVATE ombrix_core)
add_executable(kill_tests ${CMAKE_CURRENT_LIST_DIR}/../trust/kill_test.cpp)
target_link_libraries(kill_tests PRIVATE ombrix_core GTest::gtest_main)
target_compile_definitions(kill_tests PRIVATE
  OMBRIX_BIN_DIR="$<TARGET_FILE_DIR:ombrix-cli>"
  OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(kill_tests options_saver ombrix-cli ombrix-sim kelvaneproj)
gtest_discover_tests(kill_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)
