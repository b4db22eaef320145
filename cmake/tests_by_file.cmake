# One ctest entry per test source file of a GoogleTest program, so that a failure names its file
# and one crash hides only the rest of that file. Under Wine a test program costs a process start
# (a second or so once the Wine server runs), so an entry per file is cheap where an entry per
# test (about two hundred) would cost minutes.
#
#   quillet_add_tests_by_file(<target> PREFIX <prefix> SOURCES <file>...
#                             [EXCLUDE <gtest pattern>...] [ARGS <argument>...]
#                             [PROPERTIES <ctest property> <value>...])
#
# Each file's entry, <prefix><file name without _test.cpp> (a file of another folder with that
# folder's name in front: win32.shared.email_check), runs the suites the file defines
# (TEST, TEST_F, TEST_P, TYPED_TEST at the start of a line), parameterised instances included.
# A file whose suites are all excluded gets no entry. One more entry, <prefix>other_suites, runs
# every test that no file entry and no EXCLUDE pattern takes, so a suite the scan misses (one
# declared through a macro of its own, say) still runs somewhere. A suite defined in two files
# stops the configuration: its tests would run twice.
function(quillet_add_tests_by_file target)
  cmake_parse_arguments(PARSE_ARGV 1 BY_FILE "" "PREFIX" "SOURCES;EXCLUDE;ARGS;PROPERTIES")
  set(all_suites)
  foreach(source IN LISTS BY_FILE_SOURCES)
    get_filename_component(stem "${source}" NAME_WE)
    string(REGEX REPLACE "_test$" "" stem "${stem}")
    # A file from another folder (tests/shared) carries its folder's name in front.
    get_filename_component(folder "${source}" DIRECTORY)
    if(NOT folder STREQUAL CMAKE_CURRENT_SOURCE_DIR)
      get_filename_component(folder "${folder}" NAME)
      set(stem "${folder}.${stem}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    file(READ "${source}" text)
    string(REGEX MATCHALL "\n(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\\([ \t\r\n]*[A-Za-z0-9_]+"
           found "\n${text}")
    set(suites)
    foreach(match IN LISTS found)
      string(REGEX REPLACE ".*\\([ \t\r\n]*" "" suite "${match}")
      list(APPEND suites "${suite}")
    endforeach()
    list(REMOVE_DUPLICATES suites)

    set(filter)
    foreach(suite IN LISTS suites)
      if(DEFINED _quillet_suite_file_${suite})
        message(FATAL_ERROR "Test suite ${suite} is defined in both ${_quillet_suite_file_${suite}} "
                            "and ${source}; give each file suites of its own.")
      endif()
      set(_quillet_suite_file_${suite} "${source}")
      list(APPEND all_suites "${suite}")
      set(excluded FALSE)
      foreach(pattern IN LISTS BY_FILE_EXCLUDE)
        string(REPLACE "*" ".*" pattern_regex "${pattern}")
        if("${suite}." MATCHES "^${pattern_regex}")
          set(excluded TRUE)
        endif()
      endforeach()
      if(NOT excluded)
        list(APPEND filter "${suite}.*" "*/${suite}.*")
      endif()
    endforeach()
    if(filter)
      list(JOIN filter ":" filter)
      add_test(NAME ${BY_FILE_PREFIX}${stem} COMMAND ${target} --gtest_filter=${filter} ${BY_FILE_ARGS})
      if(BY_FILE_PROPERTIES)
        set_tests_properties(${BY_FILE_PREFIX}${stem} PROPERTIES ${BY_FILE_PROPERTIES})
      endif()
    endif()
  endforeach()

  set(negative)
  foreach(suite IN LISTS all_suites)
    list(APPEND negative "${suite}.*" "*/${suite}.*")
  endforeach()
  list(APPEND negative ${BY_FILE_EXCLUDE})
  list(JOIN negative ":" negative)
  add_test(NAME ${BY_FILE_PREFIX}other_suites COMMAND ${target} --gtest_filter=-${negative} ${BY_FILE_ARGS})
  if(BY_FILE_PROPERTIES)
    set_tests_properties(${BY_FILE_PREFIX}other_suites PROPERTIES ${BY_FILE_PROPERTIES})
  endif()
endfunction()
