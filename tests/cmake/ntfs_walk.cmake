# The folder walk over real NTFS under Wine: ntfs-3g's images
# (tests/ntfs/make_images.sh, built at test time) mounted read-only as D:,
# with the image as D:'s raw volume, in a prefix of its own
# (tests/ntfs_wine/run_ntfs_walk.sh). The test program is a caller of the
# engine; its one white-box source, the walk's paths over the Unix side of C:,
# is built apart with the engine's internal headers.
add_library(tarvex_walk_paths_tests OBJECT
  ${CMAKE_CURRENT_SOURCE_DIR}/ntfs_wine/walk_paths_test.cpp
  ${PROJECT_SOURCE_DIR}/engine/scanners/folder_listing.cpp
  ${PROJECT_SOURCE_DIR}/engine/scanners/wide_paths.cpp)
target_include_directories(tarvex_walk_paths_tests PRIVATE ${PROJECT_SOURCE_DIR}/engine
  ${PROJECT_SOURCE_DIR}/engine/scanners)
target_link_libraries(tarvex_walk_paths_tests PRIVATE gtest tarvex_logic tarvex_win32)

add_executable(tarvex_ntfs_walk_tests ${CMAKE_CURRENT_SOURCE_DIR}/ntfs_wine/ntfs_walk_test.cpp)
target_include_directories(tarvex_ntfs_walk_tests PRIVATE ${TARVEX_TEST_SUPPORT})
target_link_libraries(tarvex_ntfs_walk_tests PRIVATE tarvex_walk_paths_tests tarvex_logic tarvex_api
  tarvex_win32 gtest gtest_main user32 ${TARVEX_STATIC_LINK})
set(TARVEX_NTFS_WALK_STAGE ${CMAKE_BINARY_DIR}/bin/ntfswalk)
tarvex_stage(tarvex_ntfs_walk_tests ${TARVEX_NTFS_WALK_STAGE} test_amsi)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARVEX_WINE_NTFS_IMAGES ${CMAKE_BINARY_DIR}/ntfs-images)
  set(TARVEX_NTFS_WALK_RUNNER ${CMAKE_CURRENT_SOURCE_DIR}/ntfs_wine/run_ntfs_walk.sh)
  add_test(NAME wine_ntfs_images
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/ntfs/make_images.sh ${TARVEX_WINE_NTFS_IMAGES})
  set_tests_properties(wine_ntfs_images PROPERTIES FIXTURES_SETUP wine_ntfs_images TIMEOUT 900
    LABELS wine)
  # name|mode|image|folder
  set(TARVEX_NTFS_WALK_RUNS
    "mounted512|index|mounted512|dir"
    "mounted4096|index|mounted4096|dir"
    "hiding|index|hiding512|some folder"
    "fallback|fallback|hiding512"
    "unix_names|unix")
  foreach(line ${TARVEX_NTFS_WALK_RUNS})
    string(REPLACE "|" ";" run "${line}")
    list(GET run 0 name)
    list(SUBLIST run 1 -1 arguments)
    add_test(NAME wine_ntfs_walk_${name}
      COMMAND bash ${TARVEX_NTFS_WALK_RUNNER} ${TARVEX_NTFS_WALK_STAGE} ${TARVEX_WINE_NTFS_IMAGES}
              ${arguments})
    set_tests_properties(wine_ntfs_walk_${name} PROPERTIES
      ENVIRONMENT "TARVEX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-ntfs"
      FIXTURES_REQUIRED wine_ntfs_images SKIP_RETURN_CODE 77
      TIMEOUT 600 RESOURCE_LOCK wineprefix-ntfs LABELS wine)
  endforeach()
endif()
