add_executable(driver_tests driver_test.cpp driver_prerender.cpp driver_watchdog.cpp)
target_link_libraries(driver_tests PRIVATE kestovar_playback kestovar_prerender kestovar_watchdog syna
  GTest::gtest_main)
target_compile_definitions(driver_tests PRIVATE SYNA_SONGS_DIR="${CMAKE_CURRENT_LIST_DIR}/songs")
gtest_discover_tests(driver_tests)
