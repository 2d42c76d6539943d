# The quick search against the simulator on the virtual clock.
add_executable(quick_search_tests ${CMAKE_CURRENT_LIST_DIR}/../discovery/quick_search_test.cpp)
target_link_libraries(quick_search_tests PRIVATE ombrix_core ombrix_sim ombrix_cli GTest::gtest_main)
target_include_directories(quick_search_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
add_dependencies(quick_search_tests kelvaneproj)
gtest_discover_tests(quick_search_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)
