# Stream and folder walk benchmarks, staged with the engine and the test provider.
add_executable(bench_streams ${CMAKE_CURRENT_LIST_DIR}/bench_streams.cpp)
target_include_directories(bench_streams PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_streams PRIVATE tarvex_api tarvex_win32 user32 psapi ${TARVEX_STATIC_LINK})
set(TARVEX_STREAMS_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-streams)
add_custom_command(TARGET bench_streams POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_STREAMS_BENCH_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:bench_streams> $<TARGET_FILE:tarvex> $<TARGET_FILE:test_amsi> ${TARVEX_STREAMS_BENCH_STAGE})
add_dependencies(bench_streams tarvex test_amsi)
