# The block history: the store and the comparison without a line, and the history
# commands as whole processes (ombrix-sim on a pseudo-terminal, ombrix-cli).
find_package(SQLite3 REQUIRED)
set(_history ${CMAKE_CURRENT_LIST_DIR}/../history)
add_executable(history_tests ${_history}/history_store_test.cpp)
target_link_libraries(history_tests PRIVATE ombrix_core GTest::gtest_main)
gtest_discover_tests(history_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES)

add_executable(history_e2e_tests ${_history}/history_pty_test.cpp)
target_link_libraries(history_e2e_tests PRIVATE ombrix_core SQLite::SQLite3 GTest::gtest_main)
target_compile_definitions(history_e2e_tests PRIVATE
  OMBRIX_BIN_DIR="$<TARGET_FILE_DIR:ombrix-cli>"
  OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(history_e2e_tests ombrix-cli ombrix-sim kelvaneproj)
gtest_discover_tests(history_e2e_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)

# The block routes and the history over HTTP, the server on the simulator's pty.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
add_executable(history_server_tests ${_history}/history_server_test.cpp)
target_link_libraries(history_server_tests PRIVATE PkgConfig::HTTPLIB nlohmann_json::nlohmann_json GTest::gtest_main)
target_compile_definitions(history_server_tests PRIVATE
  OMBRIX_BIN_DIR="${CMAKE_BINARY_DIR}/bin" OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(history_server_tests ombrix-server ombrix-cli ombrix-sim kelvaneproj)
gtest_discover_tests(history_server_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)

# The console's History view in headless Chromium (Debian's python3 with python3-selenium).
find_program(OMBRIX_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(OMBRIX_SYSTEM_PYTHON3)
  add_test(NAME history_browser_test
           COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${_history}/history_browser_test.py
                   --bin ${CMAKE_BINARY_DIR}/bin --data ${PROJECT_SOURCE_DIR}/data)
  set_tests_properties(history_browser_test PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# The communication window's History view offscreen, on the in-process simulator.
if(TARGET ombrix_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test Widgets)
  add_executable(history_window_tests ${_history}/history_window_test.cpp)
  target_link_libraries(history_window_tests PRIVATE ombrix_gui ombrix_sim Qt6::Test GTest::gtest)
  target_compile_definitions(history_window_tests PRIVATE OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
  add_dependencies(history_window_tests kelvaneproj kelvanebmp)
  gtest_discover_tests(history_window_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
