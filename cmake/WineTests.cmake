# Every test program runs under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
# One Wine prefix per test run: the fixture "wine_prefix" creates it fresh
# (wineboot, then waits for wineserver) before the first test and stops its
# wineserver after the last one. Programs that a test starts itself (COM
# servers, segment peers) run inside the same prefix.
set(LUMARET_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
configure_file("${CMAKE_SOURCE_DIR}/scripts/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run"
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run")

enable_testing()

add_test(NAME wine_prefix_setup
  COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh" create "${LUMARET_WINEPREFIX}")
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 180
  PASS_REGULAR_EXPRESSION "wine prefix ready")
add_test(NAME wine_prefix_cleanup
  COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh" stop "${LUMARET_WINEPREFIX}")
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)

# lumaret_add_wine_test(<name> <target> [args...])
# A GoogleTest program passes only when it exits 0 and prints gtest's
# "[  PASSED  ]" line with no "[  FAILED  ]" line: a Wine that cannot run
# the program at all also returns 0, so the exit code alone proves nothing.
function(lumaret_add_wine_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    TIMEOUT 300
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|wine-run: exit code [1-9]")
endfunction()

# Test programs: GoogleTest, console subsystem, the build tree's DLLs next to them.
function(lumaret_add_test_program target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE GTest::gmock GTest::gtest)
endfunction()
