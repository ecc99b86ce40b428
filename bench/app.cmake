# Result transfer benchmark of the application, staged with the stand-in engine.
add_executable(bench_listview ${CMAKE_CURRENT_LIST_DIR}/bench_listview.cpp)
target_link_libraries(bench_listview PRIVATE ostrelle_win32 ${TARVEX_STATIC_LINK})
set(OSTRELLE_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-listview)
tarvex_stage_files(bench_listview_stage ${OSTRELLE_BENCH_STAGE} bench_listview ostrelle_fake_engine)
