# The capture's clock and the demo's command line (no GL, no files), and
# osa_skip against the recording GL layer.
add_executable(capture_tests capture_clock.cpp capture_output.cpp driver_options.cpp)
target_link_libraries(capture_tests PRIVATE kestovar_options kestovar_capture kestovar_cli kestovar_scene
  tavelo GTest::gtest_main)
gtest_discover_tests(capture_tests)

add_executable(scene_skip_tests scene_skip.cpp)
target_link_libraries(scene_skip_tests PRIVATE kestovar_scene glrec GTest::gtest_main)
gtest_discover_tests(scene_skip_tests PROPERTIES TIMEOUT 120)
