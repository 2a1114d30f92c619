# Start-up of the demo to its first shown frame, under a private Xvfb. The
# shim is preloaded into the demo to note the times; startup_floor is the
# demo's start-up without the song, for comparison.
add_library(startup_shim SHARED ${CMAKE_CURRENT_LIST_DIR}/startup_shim.c)
target_link_libraries(startup_shim PRIVATE PkgConfig::SDL PkgConfig::EGL dl)
add_executable(startup_floor ${CMAKE_CURRENT_LIST_DIR}/startup_floor.cpp)
target_link_libraries(startup_floor PRIVATE kestovar_scene tavelo kestovar_show PkgConfig::SDL)
add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE xvfb_server benchmark::benchmark)
target_compile_definitions(startup_bench PRIVATE
  KESTOVAR_DEMO="$<TARGET_FILE:kestovar>" STARTUP_FLOOR="$<TARGET_FILE:startup_floor>"
  STARTUP_SHIM="$<TARGET_FILE:startup_shim>")
add_dependencies(startup_bench kestovar startup_floor startup_shim)
