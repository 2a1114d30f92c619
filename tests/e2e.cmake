# End-to-end tests of the demo under a private Xvfb (started by a fixture).
add_library(escape_shim SHARED e2e/escape_shim.c)
target_link_libraries(escape_shim PRIVATE PkgConfig::SDL dl)
# The shim is preloaded into the demo; it must not drag the sanitizer
# runtime into a process that was not started with it first.
if(KESTOVAR_SANITIZE)
  target_compile_options(escape_shim PRIVATE -fno-sanitize=all)
  target_link_options(escape_shim PRIVATE -fno-sanitize=all)
endif()

# The fixture's Xvfb takes a free display number and leaves it in
# e2e-out/x/display, where e2e.py reads it.
set(E2E_OUT ${CMAKE_CURRENT_BINARY_DIR}/e2e-out)
add_test(NAME e2e_xvfb_start COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/xvfb.sh start ${E2E_OUT}/x 1280x720)
add_test(NAME e2e_xvfb_stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/xvfb.sh stop ${E2E_OUT}/x)
set_tests_properties(e2e_xvfb_start PROPERTIES FIXTURES_SETUP e2e_x)
set_tests_properties(e2e_xvfb_stop PROPERTIES FIXTURES_CLEANUP e2e_x)

foreach(case full_run escape_queued escape_mid no_display no_audio screenshots)
  add_test(NAME e2e_${case} COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e.py ${case})
  set_tests_properties(e2e_${case} PROPERTIES
    FIXTURES_REQUIRED e2e_x
    TIMEOUT 400
    ENVIRONMENT "KESTOVAR=$<TARGET_FILE:kestovar>;SYNA_RENDER=$<TARGET_FILE:syna-render>;ESCAPE_SHIM=$<TARGET_FILE:escape_shim>;E2E_OUT=${E2E_OUT};ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0")
endforeach()
# The shows share one screen: run them one after another.
set_tests_properties(e2e_full_run e2e_escape_mid e2e_screenshots e2e_no_audio e2e_escape_queued
  PROPERTIES RESOURCE_LOCK e2e_screen)
