# ombrix-server's HTTP front and the reading rule for JSON from outside.
# The real program from outside: limits, hosts, bodies, start and stop (real sockets, curl),
# and its metrics through promtool (skipped without Debian's prometheus package).
find_program(OMBRIX_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(OMBRIX_SYSTEM_PYTHON3)
  foreach(_name http_front_test http_metrics_lint_test)
    set(_extra)
    if(_name STREQUAL http_metrics_lint_test)
      set(_extra --lint-metrics)
    endif()
    add_test(NAME ${_name}
             COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../server/http_front_test.py
                     --bin ${CMAKE_BINARY_DIR}/bin --bus ${PROJECT_SOURCE_DIR}/data/demo-bus.cfg ${_extra})
    set_tests_properties(${_name} PROPERTIES LABELS e2e SKIP_RETURN_CODE 77 TIMEOUT 300)
  endforeach()
  # No JSON parse in the sources passes the rule for text from outside.
  add_test(NAME json_parse_sites_test
           COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../service/json_parse_sites.py ${PROJECT_SOURCE_DIR})
endif()

# The package's maintainer scripts with the real deb-systemd-helper in a scratch root.
add_test(NAME package_scripts_test
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/../server/package_scripts_test.sh ${PROJECT_SOURCE_DIR}/packaging)
set_tests_properties(package_scripts_test PROPERTIES SKIP_RETURN_CODE 77)
