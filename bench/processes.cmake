# Process memory scan benchmark, staged with the engine, the test provider and
# the memory holder fixture.
add_executable(bench_processes ${CMAKE_CURRENT_LIST_DIR}/bench_processes.cpp)
target_include_directories(bench_processes PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_processes PRIVATE tarvex_api tarvex_win32 user32 psapi ${TARVEX_STATIC_LINK})
set(TARVEX_PROCESS_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-processes)
tarvex_stage_files(bench_processes_stage ${TARVEX_PROCESS_BENCH_STAGE} bench_processes tarvex
  test_amsi memory_holder)
