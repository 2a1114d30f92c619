# One scene frame without a GL driver: the silent GL layer stands in for GL.
include(${PROJECT_SOURCE_DIR}/tests/glrec/glrec.cmake)
if(TARGET kestovar_scene)
  add_executable(scene_bench scene_bench.cpp)
  target_link_libraries(scene_bench PRIVATE kestovar_scene glrec_noop benchmark::benchmark)
endif()
