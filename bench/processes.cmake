# Process memory scan benchmark, staged with the engine, the test provider and
# the memory holder fixture.
add_executable(bench_processes ${CMAKE_CURRENT_LIST_DIR}/bench_processes.cpp)
target_include_directories(bench_processes PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_processes PRIVATE tarvex_api tarvex_win32 user32 psapi ${TARVEX_STATIC_LINK})
set(TARVEX_PROCESS_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-processes)
add_custom_command(TARGET bench_processes POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_PROCESS_BENCH_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:bench_processes> $<TARGET_FILE:tarvex>
    $<TARGET_FILE:test_amsi> $<TARGET_FILE:memory_holder> ${TARVEX_PROCESS_BENCH_STAGE})
add_dependencies(bench_processes tarvex test_amsi memory_holder)
