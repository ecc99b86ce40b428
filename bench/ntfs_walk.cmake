# Folder walk of an NTFS volume with and without the master-file-table index,
# staged with the engine and the test provider (bench/run_ntfs_walk.sh).
add_executable(bench_ntfs_walk ${CMAKE_CURRENT_LIST_DIR}/bench_ntfs_walk.cpp)
target_include_directories(bench_ntfs_walk PRIVATE ${TARVEX_BENCH_SUPPORT})
target_link_libraries(bench_ntfs_walk PRIVATE tarvex_api tarvex_win32 user32 psapi ${TARVEX_STATIC_LINK})
set(TARVEX_NTFS_WALK_BENCH_STAGE ${CMAKE_BINARY_DIR}/bin/bench-ntfs-walk)
add_custom_command(TARGET bench_ntfs_walk POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_NTFS_WALK_BENCH_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:bench_ntfs_walk> $<TARGET_FILE:tarvex>
    $<TARGET_FILE:test_amsi> ${TARVEX_NTFS_WALK_BENCH_STAGE})
add_dependencies(bench_ntfs_walk tarvex test_amsi)
