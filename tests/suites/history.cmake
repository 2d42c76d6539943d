# The console's History view in headless Chromium (Debian's python3 with python3-selenium).
find_program(OMBRIX_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(OMBRIX_SYSTEM_PYTHON3)
  add_test(NAME history_browser_test
           COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../history/history_browser_test.py
                   --bin ${CMAKE_BINARY_DIR}/bin --data ${PROJECT_SOURCE_DIR}/data)
  set_tests_properties(history_browser_test PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
