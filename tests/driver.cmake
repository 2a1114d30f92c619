add_executable(driver_tests driver_test.cpp driver_prerender.cpp driver_watchdog.cpp)
target_link_libraries(driver_tests PRIVATE kestovar_playback kestovar_prerender kestovar_watchdog syna
  GTest::gtest_main)
target_compile_definitions(driver_tests PRIVATE SYNA_SONGS_DIR="${CMAKE_CURRENT_LIST_DIR}/songs")
gtest_discover_tests(driver_tests)

# Frames held for the console test, drawn off screen.
add_executable(driver_hold_tests driver_hold.cpp)
target_link_libraries(driver_hold_tests PRIVATE kestovar_hold kestovar_capture kestovar_scene
  tavelo GTest::gtest_main)
# Mesa's software driver leaves allocations behind it (see display.cmake).
gtest_discover_tests(driver_hold_tests PROPERTIES TIMEOUT 120 ENVIRONMENT "${DISPLAY_X11_ENV}")
