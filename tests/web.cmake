# The GLES 1.x layer and the browser page's native side.

# Two fixed scenes drawn with GLES 1.x calls off screen: through OpenGL ES
# 1.x, and through the layer on OpenGL ES 2.0.
add_executable(layer_patterns_gles1 web/layer_patterns.cpp)
target_link_libraries(layer_patterns_gles1 PRIVATE tavelo png_image)
add_executable(layer_patterns_gles2 web/layer_patterns.cpp)
target_link_libraries(layer_patterns_gles2 PRIVATE tavelo_gles2 png_image)

add_executable(image_compare web/image_compare.cpp)
target_link_libraries(image_compare PRIVATE png_image)

# The layer against OpenGL ES 1.x: the patterns, and stills of the show from
# kestovar and kestovar-gles2.
add_test(NAME gles1on2_stills COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/web/layer_stills.py)
set_tests_properties(gles1on2_stills PROPERTIES TIMEOUT 600
  ENVIRONMENT "KESTOVAR=$<TARGET_FILE:kestovar>;KESTOVAR_GLES2=$<TARGET_FILE:kestovar-gles2>;PATTERNS_GLES1=$<TARGET_FILE:layer_patterns_gles1>;PATTERNS_GLES2=$<TARGET_FILE:layer_patterns_gles2>;IMAGE_COMPARE=$<TARGET_FILE:image_compare>;OUT=${CMAKE_CURRENT_BINARY_DIR}/gles1on2-stills;ASAN_OPTIONS=detect_leaks=0")

# The layer's arithmetic, and its behaviour on an off-screen OpenGL ES 2.0
# context (the display layer's, from tavelo_gles2).
add_executable(gles1on2_tests web/gles1on2_test.cpp)
target_include_directories(gles1on2_tests PRIVATE ${PROJECT_SOURCE_DIR}/gles1on2)
target_link_libraries(gles1on2_tests PRIVATE tavelo_gles2 GTest::gtest_main)
gtest_discover_tests(gles1on2_tests PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")

# The page's arithmetic, natively: the audio clock's counter, the frame clock
# of its stills (against the recording GL layer).
add_executable(web_native_tests web/web_native_test.cpp ${PROJECT_SOURCE_DIR}/web/clock.cpp)
target_include_directories(web_native_tests PRIVATE ${PROJECT_SOURCE_DIR}/web)
target_link_libraries(web_native_tests PRIVATE kestovar_frame_clock kestovar_playback glrec
  GTest::gtest_main)
gtest_discover_tests(web_native_tests)

# The page's little server: bad ports, port 0, Ctrl-C with idle connections,
# a restart on the same port (127.0.0.1 only).
add_test(NAME web_serve COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/web/serve_test.py)
set_tests_properties(web_serve PROPERTIES TIMEOUT 120)
