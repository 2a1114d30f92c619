# Tests of the synthesizer (syna/), with the song corpus in tests/songs.
add_executable(syna_tests
  ${CMAKE_CURRENT_LIST_DIR}/syna_helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_scenario.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_tables_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_parse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_hostile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_play_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_diff_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_golden_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_bound_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_reset_test.cpp)
target_link_libraries(syna_tests PRIVATE syna kestovar_song GTest::gtest GTest::gtest_main)
target_include_directories(syna_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
# In a cross build the probe runs under the same emulator as the tests.
string(REPLACE ";" " " SYNA_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")
string(STRIP "${SYNA_EMULATOR} $<TARGET_FILE:syna_fresh_probe>" SYNA_PROBE_COMMAND)
target_compile_definitions(syna_tests PRIVATE SYNA_SONGS_DIR="${CMAKE_CURRENT_LIST_DIR}/songs"
  SYNA_FRESH_PROBE="${SYNA_PROBE_COMMAND}")
# A new process's synthesizer, for the reset test to compare with.
add_executable(syna_fresh_probe ${CMAKE_CURRENT_LIST_DIR}/syna_fresh_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_helpers.cpp)
target_link_libraries(syna_fresh_probe PRIVATE syna)
target_include_directories(syna_fresh_probe PRIVATE ${CMAKE_CURRENT_LIST_DIR})
add_dependencies(syna_tests syna_fresh_probe)
gtest_discover_tests(syna_tests DISCOVERY_TIMEOUT 60)
