# Tests of the command-line tools: they run the built programs.
add_executable(tools_render_test ${CMAKE_CURRENT_SOURCE_DIR}/tools_render_test.cpp)
target_link_libraries(tools_render_test PRIVATE GTest::gtest_main)
target_compile_definitions(tools_render_test PRIVATE SYNA_RENDER="$<TARGET_FILE:syna-render>")
add_dependencies(tools_render_test syna-render)
gtest_discover_tests(tools_render_test)
