# Several processes changing one shared work file at once (ombrix-cli as a user starts it).
add_executable(writers_tests ${CMAKE_CURRENT_LIST_DIR}/../trust/writers_test.cpp)
target_link_libraries(writers_tests PRIVATE ombrix_core GTest::gtest_main)
target_compile_definitions(writers_tests PRIVATE OMBRIX_BIN_DIR="$<TARGET_FILE_DIR:ombrix-cli>")
add_dependencies(writers_tests ombrix-cli kelvaneproj)
gtest_discover_tests(writers_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)
