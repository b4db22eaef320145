# Labels for the tests gtest_discover_tests finds in a program:
#
#   quillet_label_discovered_tests(<target> <label>...)
#
# gtest_discover_tests(... PROPERTIES LABELS a;b) flattens a list value into separate words
# (CMake 3.25), so a test could carry only one label that way. Instead, a script that ctest
# reads after the discovered tests gives each of them the labels, from the list of test names
# that discovery leaves in <target>_TESTS. Call it after gtest_discover_tests.
function(quillet_label_discovered_tests target)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake")
  file(WRITE "${script}"
       "foreach(test IN LISTS ${target}_TESTS)\n"
       "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${ARGN}\")\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
