# The application Ostrelle: GUI tests of the real program under Wine and Xvfb,
# driven from a test program of ours, and the static check of both builds.

# A stand-in engine whose jobs the tests steer (tests/fixtures/fake_engine;
# also the transfer benchmark's engine).
add_library(ostrelle_fake_engine SHARED
  ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/fake_engine/fake_engine.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/fake_engine/fake_engine.def)
set_target_properties(ostrelle_fake_engine PROPERTIES OUTPUT_NAME tarvex${TARVEX_BITS_SUFFIX} PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/fake-engine
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/fake-engine)
target_compile_definitions(ostrelle_fake_engine PRIVATE TARVEX_BUILDING_ENGINE)
target_link_libraries(ostrelle_fake_engine PRIVATE tarvex_api tarvex_win32 user32 ${TARVEX_STATIC_LINK})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(ostrelle_fake_engine PRIVATE -Wl,--enable-stdcall-fixup)
endif()

add_executable(ostrelle_gui_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/app/app_gui_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/app_gui_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/app_gui_standin_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/app_driver.cpp)
target_include_directories(ostrelle_gui_tests PRIVATE ${TARVEX_TEST_SUPPORT})
target_link_libraries(ostrelle_gui_tests PRIVATE tarvex_api tarvex_win32 gtest user32 comctl32
  advapi32 shell32 ole32 ${TARVEX_STATIC_LINK})

# Three directories laid out as a user has them: with the engine, without
# it, and with the stand-in engine.
set(OSTRELLE_STAGE ${CMAKE_BINARY_DIR}/bin/appstage)
set(OSTRELLE_STAGE_NO_ENGINE ${CMAKE_BINARY_DIR}/bin/appstage-no-engine)
set(OSTRELLE_STAGE_FAKE ${CMAKE_BINARY_DIR}/bin/appstage-fake-engine)
# Copied on every build (copy_if_different), so that a rebuilt program or
# engine reaches the stages even when the test program itself is unchanged.
add_custom_target(ostrelle_gui_stages ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${OSTRELLE_STAGE} ${OSTRELLE_STAGE_NO_ENGINE} ${OSTRELLE_STAGE_FAKE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle> $<TARGET_FILE:ostrelle_gui_tests>
    $<TARGET_FILE:tarvex> $<TARGET_FILE:test_amsi> ${OSTRELLE_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle_gui_tests> ${OSTRELLE_STAGE}/ostrelle_holder.exe
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle> $<TARGET_FILE:ostrelle_gui_tests>
    $<TARGET_FILE:test_amsi> ${OSTRELLE_STAGE_NO_ENGINE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:ostrelle> $<TARGET_FILE:ostrelle_gui_tests>
    $<TARGET_FILE:ostrelle_fake_engine> $<TARGET_FILE:test_amsi> ${OSTRELLE_STAGE_FAKE})
add_dependencies(ostrelle_gui_stages ostrelle_gui_tests ostrelle tarvex test_amsi ostrelle_fake_engine)

add_test(NAME app_binary
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/check_app_binary.sh ${TARVEX_OBJDUMP} $<TARGET_FILE:ostrelle> ${CMAKE_SIZEOF_VOID_P})
set_tests_properties(app_binary PROPERTIES LABELS static)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(OSTRELLE_GUI_RUNNER ${CMAKE_CURRENT_SOURCE_DIR}/app/run_gui.sh)
  add_test(NAME app_gui
    COMMAND ${OSTRELLE_GUI_RUNNER} ${OSTRELLE_STAGE} ostrelle_gui_tests.exe --gtest_filter=AppGui.*-AppGui.Automatic*)
  add_test(NAME app_gui_automatic
    COMMAND ${OSTRELLE_GUI_RUNNER} ${OSTRELLE_STAGE} ostrelle_gui_tests.exe --gtest_filter=AppGui.Automatic*)
  add_test(NAME app_gui_german
    COMMAND ${OSTRELLE_GUI_RUNNER} ${OSTRELLE_STAGE} ostrelle_gui_tests.exe
      --gtest_filter=AppGui.IdleWindowAsStarted:AppGui.AutomaticModeWritesBothScansIntoATextLog)
  set_tests_properties(app_gui_german PROPERTIES ENVIRONMENT "LC_ALL=de_DE.UTF-8;OSTRELLE_EXPECT_GERMAN=1")
  add_test(NAME app_gui_no_engine
    COMMAND ${OSTRELLE_GUI_RUNNER} ${OSTRELLE_STAGE_NO_ENGINE} ostrelle_gui_tests.exe --gtest_filter=AppWithoutEngine.*)
  add_test(NAME app_gui_large_transfer
    COMMAND ${OSTRELLE_GUI_RUNNER} ${OSTRELLE_STAGE_FAKE} ostrelle_gui_tests.exe --gtest_filter=AppLargeTransfer.*)
  add_test(NAME app_gui_stand_in
    COMMAND ${OSTRELLE_GUI_RUNNER} ${OSTRELLE_STAGE_FAKE} ostrelle_gui_tests.exe
      --gtest_filter=AppWithStandIn.*:FolderCommand.*)
  add_test(NAME app_gui_keyboard
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/keyboard_scan.sh ${OSTRELLE_STAGE})
  set_tests_properties(app_gui app_gui_automatic app_gui_german app_gui_no_engine app_gui_large_transfer
    app_gui_stand_in app_gui_keyboard PROPERTIES TIMEOUT 1800 RESOURCE_LOCK wineprefix LABELS gui)
endif()
