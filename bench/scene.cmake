# One scene frame without a GL driver: the silent GL layer stands in for GL.
add_executable(scene_bench scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE kestovar_scene glrec_noop benchmark::benchmark)
