# The service's live view: readings applied or dropped, what each reading asks, kept
# identity, on the virtual clock against the in-process simulator; the owner's queue.
add_executable(live_view_tests ${CMAKE_CURRENT_LIST_DIR}/../service/live_view_test.cpp)
target_link_libraries(live_view_tests PRIVATE ombrix_core ombrix_sim GTest::gtest_main)
target_include_directories(live_view_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support)
add_dependencies(live_view_tests kelvaneproj)
gtest_discover_tests(live_view_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS threaded)
