# Synthesizer benchmarks: the demo's pre-render against the plain mixer and
# the memory floor, and the songs that bound the render time.
add_executable(syna_bench ${CMAKE_CURRENT_SOURCE_DIR}/syna_bench.cpp)
target_link_libraries(syna_bench PRIVATE syna kestovar_song kestovar_show benchmark::benchmark)
target_compile_definitions(syna_bench PRIVATE SYNA_SONGS_DIR="${PROJECT_SOURCE_DIR}/tests/songs")
