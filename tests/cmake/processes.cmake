# Process scans: the memory holder fixture, staged beside the Wine test program.
add_executable(memory_holder ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/memory_holder/memory_holder.cpp)
target_include_directories(memory_holder PRIVATE ${TARVEX_TEST_SUPPORT})
target_link_libraries(memory_holder PRIVATE tarvex_win32 ${TARVEX_STATIC_LINK})
add_custom_command(TARGET memory_holder POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_WINE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:memory_holder> ${TARVEX_WINE_STAGE})
add_dependencies(tarvex_wine_tests memory_holder)
