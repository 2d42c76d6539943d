# ombrix-server's web console in headless Chromium, driven by selenium: Debian's python3,
# which has python3-selenium, not whichever python3 comes first on the PATH.
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
