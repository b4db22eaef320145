# quillet_add_fuzz_target(<name> <source> <libraries>...): the libFuzzer target quillet_fuzz_<name>
# (Clang only; on Debian libFuzzer is the package libfuzzer-14-dev). fuzz/run.sh builds and runs
# them all.
#
# A target links the program's own libraries rather than naming their sources, so a new source
# file of the logic never has to be added here. fuzz/run.sh configures its tree with
# QUILLET_FUZZ_INSTRUMENT=ON (see the top CMakeLists.txt), which builds every library with the
# fuzzer's coverage and the sanitizers; without it the targets still build and run, with
# coverage of their own file only.
set(QUILLET_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined)

function(quillet_add_fuzz_target name source)
  add_executable(quillet_fuzz_${name} ${source})
  # The fakes of the native tests stand in for the system (code page, folder probe, registry).
  target_include_directories(quillet_fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests/native)
  target_compile_options(quillet_fuzz_${name} PRIVATE -fsanitize=fuzzer ${QUILLET_FUZZ_SANITIZERS} -g)
  target_link_options(quillet_fuzz_${name} PRIVATE -fsanitize=fuzzer ${QUILLET_FUZZ_SANITIZERS})
  target_link_libraries(quillet_fuzz_${name} PRIVATE ${ARGN})
  # All in one folder, where fuzz/run.sh looks for them.
  set_target_properties(quillet_fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
