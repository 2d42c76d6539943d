# The README's checked shell examples, run as written against ombrix-sim's demo bus.
find_program(OMBRIX_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(OMBRIX_SYSTEM_PYTHON3)
  add_test(NAME readme_examples
           COMMAND ${OMBRIX_SYSTEM_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../e2e/readme_examples.py
                   --bin ${CMAKE_BINARY_DIR}/bin --readme ${PROJECT_SOURCE_DIR}/README.md
                   --data ${PROJECT_SOURCE_DIR}/data)
  set_tests_properties(readme_examples PROPERTIES LABELS e2e TIMEOUT 300)
endif()
