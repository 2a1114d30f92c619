# The GLES 1.x layer and the browser page's native side.

# The show on a fixed frame clock, shared with the browser page.
add_library(kestovar_replay STATIC ${PROJECT_SOURCE_DIR}/web/replay.cpp)
target_include_directories(kestovar_replay PUBLIC ${PROJECT_SOURCE_DIR}/web)
target_link_libraries(kestovar_replay PUBLIC kestovar_scene kestovar_show syna)

# Off-screen pictures of the show: through OpenGL ES 1.x, and through the
# layer on OpenGL ES 2.0.
add_executable(scene_still_gles1 web/scene_still.cpp)
target_compile_definitions(scene_still_gles1 PRIVATE STILL_GLES=1)
target_link_libraries(scene_still_gles1 PRIVATE kestovar_replay kestovar_song tavelo png_image
  PkgConfig::GLES1 PkgConfig::EGL)
add_executable(scene_still_gles2 web/scene_still.cpp)
target_compile_definitions(scene_still_gles2 PRIVATE STILL_GLES=2)
target_link_libraries(scene_still_gles2 PRIVATE kestovar_replay kestovar_song tavelo_gles2
  png_image gles1on2)

add_executable(image_compare web/image_compare.cpp)
target_link_libraries(image_compare PRIVATE png_image)

add_test(NAME gles1on2_stills COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/web/layer_stills.py)
set_tests_properties(gles1on2_stills PROPERTIES TIMEOUT 600
  ENVIRONMENT "STILL_GLES1=$<TARGET_FILE:scene_still_gles1>;STILL_GLES2=$<TARGET_FILE:scene_still_gles2>;IMAGE_COMPARE=$<TARGET_FILE:image_compare>;OUT=${CMAKE_CURRENT_BINARY_DIR}/gles1on2-stills;ASAN_OPTIONS=detect_leaks=0")

# The layer's arithmetic, and its behaviour on an off-screen OpenGL ES 2.0
# context.
add_executable(gles1on2_tests web/gles1on2_test.cpp)
target_include_directories(gles1on2_tests PRIVATE ${PROJECT_SOURCE_DIR}/gles1on2)
target_link_libraries(gles1on2_tests PRIVATE gles1on2 GTest::gtest_main)
gtest_discover_tests(gles1on2_tests PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")

# The page's arithmetic, natively: glibc's rand() sequence, the audio clock's
# counter, the fixed frame clock.
add_executable(web_native_tests web/web_native_test.cpp ${PROJECT_SOURCE_DIR}/web/libc_rand.cpp
  ${PROJECT_SOURCE_DIR}/web/clock.cpp)
target_link_libraries(web_native_tests PRIVATE kestovar_replay kestovar_playback kestovar_scene glrec_noop
  GTest::gtest_main)
gtest_discover_tests(web_native_tests)
