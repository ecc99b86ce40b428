# Buffer scan benchmark, staged with the engine and the test provider.
add_executable(bench_buffer ${CMAKE_CURRENT_LIST_DIR}/bench_buffer.cpp)
target_include_directories(bench_buffer PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_buffer PRIVATE tarvex_api tarvex_win32 ${TARVEX_STATIC_LINK})
set(TARVEX_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench)
tarvex_stage_files(bench_buffer_stage ${TARVEX_BENCH_STAGE} bench_buffer tarvex test_amsi)
