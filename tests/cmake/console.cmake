# Console scanner under Wine: a test program that runs OstrelleCmd64.exe as a
# script would, staged with the engine, the test provider and the memory
# holder; further copies of the console program sit without the engine
# (noengine/), beside no amsi.dll (builtinamsi/) and beside an incomplete one
# (incompleteamsi/); one is built without the UTF-8 code page (legacycp/).
# names/ holds files, a folder and a copy of the memory
# holder whose names are outside code page 1252, made on the Linux side of
# the prefix; devfull links to /dev/full, a file that is always full.
set(TARVEX_CONSOLE_STAGE ${CMAKE_BINARY_DIR}/bin/console-test)
add_executable(console_wine_tests ${CMAKE_CURRENT_SOURCE_DIR}/console/console_wine_test.cpp)
target_include_directories(console_wine_tests PRIVATE ${TARVEX_TEST_SUPPORT}
  ${CMAKE_CURRENT_SOURCE_DIR}/console)
target_link_libraries(console_wine_tests PRIVATE tarvex_api tarvex_win32 tarvex_third_party_headers
  gtest gtest_main ${TARVEX_STATIC_LINK})
# Staged on every build: the console program changes without the test relinking.
add_custom_target(console_wine_stage ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_CONSOLE_STAGE}/noengine
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:console_wine_tests>
    $<TARGET_FILE:ostrelle_cmd> $<TARGET_FILE:tarvex> $<TARGET_FILE:test_amsi>
    $<TARGET_FILE:memory_holder> ${TARVEX_CONSOLE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle_cmd>
    ${TARVEX_CONSOLE_STAGE}/noengine
  # Beside no amsi.dll: Wine's own one is loaded.
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_CONSOLE_STAGE}/builtinamsi
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle_cmd> $<TARGET_FILE:tarvex>
    ${TARVEX_CONSOLE_STAGE}/builtinamsi
  # Beside an amsi.dll that lacks functions: AMSI cannot be bound.
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_CONSOLE_STAGE}/incompleteamsi
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle_cmd> $<TARGET_FILE:tarvex>
    $<TARGET_FILE:test_amsi_partial> ${TARVEX_CONSOLE_STAGE}/incompleteamsi)
add_dependencies(console_wine_stage console_wine_tests ostrelle_cmd tarvex test_amsi
  test_amsi_partial memory_holder)
set(TARVEX_CONSOLE_NAMES ${TARVEX_CONSOLE_STAGE}/names)
file(MAKE_DIRECTORY "${TARVEX_CONSOLE_NAMES}/Каталог 報告 📁")
file(WRITE "${TARVEX_CONSOLE_NAMES}/café Ж 報告 📄.txt" "clean text with a name outside code page 1252\n")
file(WRITE "${TARVEX_CONSOLE_NAMES}/Каталог 報告 📁/документ 📄.txt" "clean text\n")
# The console program built again with a manifest that lacks the UTF-8 code
# page, staged in legacycp/ with the engine and the test provider: the
# program as Windows before 10 version 1903 runs it.
file(GLOB TARVEX_CONSOLE_PROGRAM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/console/*.cpp)
add_executable(console_legacy_code_page ${TARVEX_CONSOLE_PROGRAM_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/console/legacy_code_page.rc)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/console/legacy_code_page.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/console/legacy_code_page.manifest)
set_target_properties(console_legacy_code_page PROPERTIES OUTPUT_NAME OstrelleCmd${TARVEX_BITS_SUFFIX}
  RUNTIME_OUTPUT_DIRECTORY ${TARVEX_CONSOLE_STAGE}/legacycp)
target_include_directories(console_legacy_code_page PRIVATE ${PROJECT_SOURCE_DIR}/console)
target_compile_definitions(console_legacy_code_page PRIVATE TARVEX_VERSION_TEXT="${PROJECT_VERSION}")
target_link_libraries(console_legacy_code_page PRIVATE tarvex_console_logic tarvex_api tarvex_win32
  user32 advapi32 ${TARVEX_STATIC_LINK})
if(MINGW)
  target_link_options(console_legacy_code_page PRIVATE -municode)
endif()
add_dependencies(console_wine_stage console_legacy_code_page)
add_custom_command(TARGET console_wine_stage POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:tarvex> $<TARGET_FILE:test_amsi>
    ${TARVEX_CONSOLE_STAGE}/legacycp)
add_custom_command(TARGET console_wine_stage POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:memory_holder>
    "${TARVEX_CONSOLE_NAMES}/holder-Ж報📄.exe")
if(EXISTS /dev/full)
  file(MAKE_DIRECTORY ${TARVEX_CONSOLE_STAGE})
  file(CREATE_LINK /dev/full ${TARVEX_CONSOLE_STAGE}/devfull SYMBOLIC)
endif()

add_test(NAME console_binary_imports
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/console/check_console_binary.sh ${TARVEX_OBJDUMP}
    $<TARGET_FILE:ostrelle_cmd>)
set_tests_properties(console_binary_imports PROPERTIES LABELS static)

# wine_console_samples and wine_console_german also leave the JSON Lines of
# real runs in samples/ (fixture console_output_samples), which the fleet
# tests (package.cmake) check against docs/output.md and feed to the recipes.
set(TARVEX_CONSOLE_SAMPLES ${TARVEX_CONSOLE_STAGE}/samples)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine_console
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_CONSOLE_STAGE} console_wine_tests.exe
      --gtest_filter=-ConsoleGerman*:ConsoleSamples*)
  add_test(NAME wine_console_samples
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_CONSOLE_STAGE} console_wine_tests.exe
      --gtest_filter=ConsoleSamples*)
  add_test(NAME wine_console_german
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_CONSOLE_STAGE} console_wine_tests.exe
      --gtest_filter=ConsoleGerman*)
  set_tests_properties(wine_console_german PROPERTIES
    ENVIRONMENT "LC_ALL=de_DE.UTF-8;TARVEX_EXPECT_GERMAN=1")
  set_tests_properties(wine_console_samples wine_console_german PROPERTIES
    FIXTURES_SETUP console_output_samples)
  set_tests_properties(wine_console wine_console_samples wine_console_german PROPERTIES
    TIMEOUT 900 RESOURCE_LOCK wineprefix LABELS console)
endif()

# Every shipped DLL and EXE carries the build's version in its VERSIONINFO.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME version_resources
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/console/check_version_resource.py
    ${PROJECT_VERSION} $<TARGET_FILE:tarvex> $<TARGET_FILE:ostrelle_cmd> $<TARGET_FILE:ostrelle>)
set_tests_properties(version_resources PROPERTIES LABELS static)
