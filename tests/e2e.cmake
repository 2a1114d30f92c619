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

# What a window manager sends for the close button.
add_executable(close_window e2e/close_window.c)
target_link_libraries(close_window PRIVATE PkgConfig::X11)
if(KESTOVAR_SANITIZE)
  target_compile_options(close_window PRIVATE -fno-sanitize=all)
  target_link_options(close_window PRIVATE -fno-sanitize=all)
endif()

# A window manager that never maps a window.
add_executable(no_map_wm e2e/no_map_wm.c)
target_link_libraries(no_map_wm PRIVATE PkgConfig::X11)
if(KESTOVAR_SANITIZE)
  target_compile_options(no_map_wm PRIVATE -fno-sanitize=all)
  target_link_options(no_map_wm PRIVATE -fno-sanitize=all)
endif()

set(E2E_CASES full_run escape_queued escape_mid no_display no_audio screenshots fullscreen
  window signals signal_prerender quiet_alsa close_button stopped_server lone_server xinit
  stopped_midshow twm unmapped)
set(E2E_ENV "KESTOVAR=$<TARGET_FILE:kestovar>;SYNA_RENDER=$<TARGET_FILE:syna-render>;ESCAPE_SHIM=$<TARGET_FILE:escape_shim>;CLOSE_WINDOW=$<TARGET_FILE:close_window>;NO_MAP_WM=$<TARGET_FILE:no_map_wm>;XVFB_SH=${CMAKE_CURRENT_SOURCE_DIR}/e2e/xvfb.sh;E2E_OUT=${E2E_OUT};ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0")
# Valgrind runs once, on the Release build: under the sanitizers it cannot.
if(NOT KESTOVAR_SANITIZE)
  find_program(VALGRIND valgrind REQUIRED)
  list(APPEND E2E_CASES valgrind)
  list(APPEND E2E_ENV "VALGRIND=${VALGRIND}" "VALGRIND_SUPP=${CMAKE_CURRENT_SOURCE_DIR}/valgrind.supp")
endif()
foreach(case ${E2E_CASES})
  add_test(NAME e2e_${case} COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e.py ${case})
  set_tests_properties(e2e_${case} PROPERTIES
    FIXTURES_REQUIRED e2e_x
    TIMEOUT 400
    ENVIRONMENT "${E2E_ENV}")
endforeach()
# The shows share one screen: run them one after another (the missing
# display and the cases with servers of their own use no screen of the
# fixture).
list(REMOVE_ITEM E2E_CASES no_display stopped_server lone_server xinit stopped_midshow twm
  unmapped)
list(TRANSFORM E2E_CASES PREPEND e2e_)
set_tests_properties(${E2E_CASES} PROPERTIES RESOURCE_LOCK e2e_screen)

# The capture: files only, no X server and no sound card.
find_program(FFPROBE ffprobe REQUIRED)
find_program(FFMPEG ffmpeg REQUIRED)
foreach(case length levels identical stills end errors stop files limits)
  add_test(NAME capture_${case}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/capture.py ${case})
  set_tests_properties(capture_${case} PROPERTIES
    LABELS capture
    TIMEOUT 300
    ENVIRONMENT "KESTOVAR=$<TARGET_FILE:kestovar>;SYNA_RENDER=$<TARGET_FILE:syna-render>;E2E_OUT=${E2E_OUT};ASAN_OPTIONS=detect_leaks=0")
endforeach()
