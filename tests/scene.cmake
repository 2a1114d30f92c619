# Scene tests: they link the recording GL layer, never the real GL.
add_executable(scene_tests scene_parts.cpp scene_frame.cpp scene_golden.cpp)
target_include_directories(scene_tests PRIVATE
  $<TARGET_PROPERTY:PkgConfig::GLES1,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions(scene_tests PRIVATE
  SCENE_GOLDEN_FILE="${CMAKE_CURRENT_LIST_DIR}/scene_golden.txt")
target_link_libraries(scene_tests PRIVATE kestovar_scene glrec GTest::gtest_main)
gtest_discover_tests(scene_tests)
