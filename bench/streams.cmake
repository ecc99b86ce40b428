# Stream and folder walk benchmarks, staged with the engine and the test provider.
add_executable(bench_streams ${CMAKE_CURRENT_LIST_DIR}/bench_streams.cpp)
target_include_directories(bench_streams PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_streams PRIVATE tarvex_api tarvex_win32 user32 psapi ${TARVEX_STATIC_LINK})
set(TARVEX_STREAMS_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-streams)
tarvex_stage_files(bench_streams_stage ${TARVEX_STREAMS_BENCH_STAGE} bench_streams tarvex test_amsi)
