# Folder walk of an NTFS volume with and without the master-file-table index,
# staged with the engine and the test provider (bench/run_ntfs_walk.sh).
add_executable(bench_ntfs_walk ${CMAKE_CURRENT_LIST_DIR}/bench_ntfs_walk.cpp)
target_include_directories(bench_ntfs_walk PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_ntfs_walk PRIVATE tarvex_api tarvex_win32 user32 psapi ${TARVEX_STATIC_LINK})
set(TARVEX_NTFS_WALK_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-ntfs-walk)
tarvex_stage_files(bench_ntfs_walk_stage ${TARVEX_NTFS_WALK_BENCH_STAGE} bench_ntfs_walk tarvex
  test_amsi)
