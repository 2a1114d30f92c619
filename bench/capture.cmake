add_executable(capture_bench capture_bench.cpp)
target_link_libraries(capture_bench PRIVATE kestovar_capture kestovar_scene tavelo kestovar_song
  syna benchmark::benchmark)
