# Checks of the song built into the demo (data/song.txt): it renders the
# whole song, so it lives apart from the synthesizer's unit tests.
add_executable(song_tests ${CMAKE_CURRENT_LIST_DIR}/song_test.cpp)
target_link_libraries(song_tests PRIVATE kestovar_render_parts syna kestovar_song kestovar_show
  GTest::gtest GTest::gtest_main)
gtest_discover_tests(song_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS song TIMEOUT 300)
