# Buffer scan benchmark, staged with the engine and the test provider.
add_executable(bench_buffer ${CMAKE_CURRENT_LIST_DIR}/bench_buffer.cpp)
target_include_directories(bench_buffer PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_buffer PRIVATE tarvex_api tarvex_win32 ${TARVEX_STATIC_LINK})
set(TARVEX_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench)
add_custom_command(TARGET bench_buffer POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_BENCH_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:bench_buffer> $<TARGET_FILE:tarvex> $<TARGET_FILE:test_amsi> ${TARVEX_BENCH_STAGE})
add_dependencies(bench_buffer tarvex test_amsi)
