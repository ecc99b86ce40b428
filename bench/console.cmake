# Console program overhead benchmark (bench/run_console.sh), staged with the
# console program, the engine and the test provider.
add_executable(bench_console ${CMAKE_CURRENT_LIST_DIR}/bench_console.cpp)
target_include_directories(bench_console PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_console PRIVATE tarvex_api tarvex_win32 user32 ${TARVEX_STATIC_LINK})
set(TARVEX_CONSOLE_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-console)
add_custom_target(bench_console_stage
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_CONSOLE_BENCH_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:bench_console>
    $<TARGET_FILE:ostrelle_cmd> $<TARGET_FILE:tarvex> $<TARGET_FILE:test_amsi>
    ${TARVEX_CONSOLE_BENCH_STAGE})
add_dependencies(bench_console_stage bench_console ostrelle_cmd tarvex test_amsi)
