# Display layer tests. The viewport, event and off-screen tests need no X
# server; the X11 ones start an Xvfb of their own on :90 to :99.
add_executable(display_tests display_viewport.cpp display_events.cpp display_xprobe.cpp)
target_link_libraries(display_tests PRIVATE tavelo GTest::gtest_main)
gtest_discover_tests(display_tests
  PROPERTIES LABELS display SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

add_executable(display_x11_tests display_gl.cpp)
target_link_libraries(display_x11_tests PRIVATE tavelo xvfb_server GTest::gtest_main)
set(DISPLAY_X11_ENV "")
if(KESTOVAR_SANITIZE)
  # Mesa's software driver keeps allocations in its own globals and is
  # unloaded at eglTerminate, which makes them look leaked; SDL's Xlib
  # input method leaks a few strings. Neither is ours.
  set(DISPLAY_X11_ENV "ASAN_OPTIONS=detect_leaks=0")
endif()
# The unusable-EGL case needs its own environment: it is added by hand below.
gtest_discover_tests(display_x11_tests
  TEST_FILTER -DisplayOpen.UnusableEglIsReported
  PROPERTIES LABELS display TIMEOUT 120 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
    ENVIRONMENT "${DISPLAY_X11_ENV}"
  DISCOVERY_TIMEOUT 30)
add_test(NAME display_unusable_egl
  COMMAND display_x11_tests --gtest_filter=DisplayOpen.UnusableEglIsReported)
set_tests_properties(display_unusable_egl PROPERTIES
  LABELS display TIMEOUT 120
  ENVIRONMENT "__EGL_VENDOR_LIBRARY_FILENAMES=${CMAKE_CURRENT_BINARY_DIR}/no-such-egl-vendor.json;${DISPLAY_X11_ENV}"
  SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

# The off-screen backend: Mesa's surfaceless platform, no X server.
add_executable(display_offscreen_tests display_offscreen.cpp)
target_link_libraries(display_offscreen_tests PRIVATE tavelo GTest::gtest_main)
gtest_discover_tests(display_offscreen_tests
  PROPERTIES LABELS display TIMEOUT 120 ENVIRONMENT "${DISPLAY_X11_ENV}")

# The console backend's rules and its errors where there is no DRM device.
add_executable(display_console_tests display_console.cpp)
target_link_libraries(display_console_tests PRIVATE tavelo GTest::gtest_main)
gtest_discover_tests(display_console_tests
  PROPERTIES LABELS display SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
