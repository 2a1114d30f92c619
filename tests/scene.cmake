# Scene tests: they link the recording GL layer, never the real GL.
add_executable(scene_tests scene_parts.cpp scene_frame.cpp)
target_include_directories(scene_tests PRIVATE
  $<TARGET_PROPERTY:PkgConfig::GLES1,INTERFACE_INCLUDE_DIRECTORIES>)
target_link_libraries(scene_tests PRIVATE kestovar_scene glrec GTest::gtest_main)
gtest_discover_tests(scene_tests)
