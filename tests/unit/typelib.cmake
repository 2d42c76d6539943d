# Type and image libraries, loaded at run time as the program does; the test
# is deliberately not linked against them.
add_executable(typelib_test ${CMAKE_CURRENT_LIST_DIR}/typelib_test.cpp)
target_include_directories(typelib_test PRIVATE
  $<TARGET_PROPERTY:kelvaneproj,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions(typelib_test PRIVATE
  KELVANEPROJ_PATH="$<TARGET_FILE:kelvaneproj>"
  KELVANEBMP_PATH="$<TARGET_FILE:kelvanebmp>")
target_link_libraries(typelib_test PRIVATE GTest::gtest_main dl)
add_dependencies(typelib_test kelvaneproj kelvanebmp)
add_test(NAME typelib_test COMMAND typelib_test)
