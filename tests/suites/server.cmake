# ombrix-server: the API in-process against the simulator on a scaled clock, and the
# whole program over a pseudo-terminal driven by an HTTP client.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

add_executable(server_api_tests ${CMAKE_CURRENT_LIST_DIR}/../server/server_api_test.cpp)
target_link_libraries(server_api_tests PRIVATE ombrix_server ombrix_core ombrix_sim ombrix_cli PkgConfig::HTTPLIB
                                               GTest::gtest_main)
target_include_directories(server_api_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support
                                                   ${CMAKE_CURRENT_LIST_DIR}/../server)
add_dependencies(server_api_tests kelvaneproj)
gtest_discover_tests(server_api_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS threaded)

add_executable(server_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/../server/server_e2e_test.cpp)
target_link_libraries(server_e2e_tests PRIVATE ombrix_core PkgConfig::HTTPLIB nlohmann_json::nlohmann_json
                                               GTest::gtest_main)
target_compile_definitions(server_e2e_tests PRIVATE
  OMBRIX_BIN_DIR="${CMAKE_BINARY_DIR}/bin" OMBRIX_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
add_dependencies(server_e2e_tests ombrix-server ombrix-sim kelvaneproj)
gtest_discover_tests(server_e2e_tests DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES PROPERTIES LABELS e2e)

# The web console in headless Chromium, driven by selenium: Debian's python3, which has
# python3-selenium, not whichever python3 comes first on the PATH.
find_program(OMBRIX_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(OMBRIX_SYSTEM_PYTHON3)
  add_test(NAME server_browser_test
           COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../server/browser_test.py
                   --bin ${CMAKE_BINARY_DIR}/bin --bus ${PROJECT_SOURCE_DIR}/data/demo-bus.cfg)
  set_tests_properties(server_browser_test PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# Programs beside the running server on its line, through its seat: real processes on the
# simulator's pseudo-terminal, its transcript the proof of what went on the wire.
if(OMBRIX_SYSTEM_PYTHON3)
  add_test(NAME seat_test
           COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../server/seat_test.py
                   --bin ${CMAKE_BINARY_DIR}/bin --bus ${PROJECT_SOURCE_DIR}/data/demo-bus.cfg)
  set_tests_properties(seat_test PROPERTIES LABELS e2e TIMEOUT 300)
endif()
