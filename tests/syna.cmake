# Tests of the synthesizer (syna/), with the song corpus in tests/songs.
add_executable(syna_tests
  ${CMAKE_CURRENT_LIST_DIR}/syna_helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_tables_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_parse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_hostile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/syna_play_test.cpp)
target_link_libraries(syna_tests PRIVATE syna GTest::gtest GTest::gtest_main)
target_include_directories(syna_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(syna_tests PRIVATE SYNA_SONGS_DIR="${CMAKE_CURRENT_LIST_DIR}/songs")
gtest_discover_tests(syna_tests DISCOVERY_TIMEOUT 60)
