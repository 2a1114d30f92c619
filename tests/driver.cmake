add_executable(driver_tests driver_test.cpp)
target_link_libraries(driver_tests PRIVATE kestovar_playback syna GTest::gtest_main)
gtest_discover_tests(driver_tests)
