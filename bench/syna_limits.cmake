# The slowest songs the synthesizer's limits accept, against the 100x bound.
add_executable(syna_limits_bench ${CMAKE_CURRENT_SOURCE_DIR}/syna_limits_bench.cpp)
target_link_libraries(syna_limits_bench PRIVATE syna kestovar_show benchmark::benchmark)
target_compile_definitions(syna_limits_bench PRIVATE SYNA_SONGS_DIR="${PROJECT_SOURCE_DIR}/tests/songs")
