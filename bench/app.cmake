# Result transfer benchmark of the application, staged with the stand-in engine.
add_executable(bench_listview ${CMAKE_CURRENT_LIST_DIR}/bench_listview.cpp)
target_link_libraries(bench_listview PRIVATE ostrelle_win32 ${TARVEX_STATIC_LINK})
set(OSTRELLE_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-listview)
add_custom_command(TARGET bench_listview POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTRELLE_BENCH_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:bench_listview> $<TARGET_FILE:ostrelle_fake_engine> ${OSTRELLE_BENCH_STAGE})
add_dependencies(bench_listview ostrelle_fake_engine)
