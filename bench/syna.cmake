# Synthesizer benchmark: the demo's whole pre-render (647 blocks of 8192 frames).
add_executable(syna_bench ${CMAKE_CURRENT_SOURCE_DIR}/syna_bench.cpp)
target_link_libraries(syna_bench PRIVATE syna kestovar_song kestovar_show benchmark::benchmark)
