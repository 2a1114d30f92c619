# Scene tests: they link the recording GL layer, never the real GL.
add_executable(scene_tests scene_parts.cpp scene_frame.cpp scene_golden.cpp)
target_include_directories(scene_tests PRIVATE
  $<TARGET_PROPERTY:PkgConfig::GLES1,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions(scene_tests PRIVATE
  SCENE_GOLDEN_FILE="${CMAKE_CURRENT_LIST_DIR}/scene_golden.txt")
target_link_libraries(scene_tests PRIVATE kestovar_scene glrec GTest::gtest_main)
gtest_discover_tests(scene_tests)

# Heap allocations of scene frames, counted by the test binary itself: its
# own operator new, and every malloc-family call of the linked code routed
# through counting wrappers. GL calls go to the silent layer.
add_executable(scene_alloc_tests scene_alloc.cpp)
target_link_libraries(scene_alloc_tests PRIVATE kestovar_scene glrec_noop GTest::gtest_main)
target_link_options(scene_alloc_tests PRIVATE
  -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=aligned_alloc,--wrap=posix_memalign)
gtest_discover_tests(scene_alloc_tests)
