# Stream and folder runs that do not fit the common Wine test program: the
# all-drives walk (a prefix of its own, whose only drive is C:) and a stream
# beyond 2 GiB (about 2 GiB of memory for one test).
add_executable(tarvex_stream_runs
  ${CMAKE_CURRENT_SOURCE_DIR}/wine_streams/all_drives_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/wine_streams/large_stream_test.cpp)
target_include_directories(tarvex_stream_runs PRIVATE ${TARVEX_TEST_SUPPORT})
target_link_libraries(tarvex_stream_runs PRIVATE tarvex_api tarvex_win32 gtest gtest_main user32
  ${TARVEX_STATIC_LINK})
set(TARVEX_STREAM_STAGE ${CMAKE_BINARY_DIR}/bin/streamtest)
tarvex_stage(tarvex_stream_runs ${TARVEX_STREAM_STAGE} test_amsi)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine_folder_all_drives
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_STREAM_STAGE} tarvex_stream_runs.exe
            --gtest_filter=AllDrives*)
  set_tests_properties(wine_folder_all_drives PROPERTIES
    ENVIRONMENT "TARVEX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-drives"
    TIMEOUT 600 RESOURCE_LOCK wineprefix LABELS wine)
  add_test(NAME wine_stream_large
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_STREAM_STAGE} tarvex_stream_runs.exe --gtest_filter=LargeStream*)
  set_tests_properties(wine_stream_large PROPERTIES TIMEOUT 600 RESOURCE_LOCK wineprefix LABELS wine)
endif()
