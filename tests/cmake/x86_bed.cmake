# The x86 build's Wine suites, run in the x86 test bed (tools/x86-bed.sh,
# docs/x86-test-bed.md): the 32-bit programs under qemu user emulation, in a
# 64-bit prefix of this build directory. The x86_bed entry checks the bed
# first; without a bed every suite here fails (never a silent pass), while the
# static checks of the x86 build still run.
#
# The suites of the default run are those of the x64 entries of the same name
# without the x86_ marker, with the same filters and environment. The longer
# ones run with `ctest --preset x86 -C full` (label x86_full).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TARVEX_X86_BED_RUNNER ${CMAKE_CURRENT_SOURCE_DIR}/wine/run_in_x86_bed.sh)
  set(TARVEX_X86_BED_ENTER ${PROJECT_SOURCE_DIR}/tools/x86-bed/enter.sh)
  set(TARVEX_X86_GUI_RUNNER ${TARVEX_X86_BED_ENTER} ${CMAKE_CURRENT_SOURCE_DIR}/app/run_gui.sh)

  add_test(NAME x86_bed COMMAND bash ${PROJECT_SOURCE_DIR}/tools/x86-bed.sh --check)
  set_tests_properties(x86_bed PROPERTIES FIXTURES_SETUP x86_bed TIMEOUT 300 LABELS "x86")

  # tarvex_x86_test(<name> <labels> [FULL] [ENVIRONMENT <list>] COMMAND <command...>)
  function(tarvex_x86_test name labels)
    cmake_parse_arguments(X86 "FULL" "" "ENVIRONMENT;COMMAND" ${ARGN})
    if(X86_FULL)
      add_test(NAME ${name} CONFIGURATIONS full COMMAND ${X86_COMMAND})
      list(APPEND labels x86_full)
    else()
      add_test(NAME ${name} COMMAND ${X86_COMMAND})
    endif()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED x86_bed RESOURCE_LOCK wineprefix
      TIMEOUT 1800 LABELS "${labels};x86")
    if(X86_ENVIRONMENT)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${X86_ENVIRONMENT}")
    endif()
  endfunction()

  set(TARVEX_X86_GERMAN "LC_ALL=de_DE.UTF-8;TARVEX_EXPECT_GERMAN=1")
  set(TARVEX_X86_WINE_ONLY_SUITES
    "FreshEngine*:German*:Win7Gate*:PartialAmsi*:NoAmsi*:Soak*:Robust*:Faults*:PausedWalk*:Wow64*")

  # The engine's suites.
  tarvex_x86_test(x86_wine_engine wine COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE}
    tarvex_wine_tests.exe --gtest_filter=-${TARVEX_X86_WINE_ONLY_SUITES})
  tarvex_x86_test(x86_wine_engine_fresh wine COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE}
    tarvex_wine_tests.exe --gtest_filter=FreshEngine*)
  tarvex_x86_test(x86_wine_engine_german wine ENVIRONMENT ${TARVEX_X86_GERMAN}
    COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=German*)
  tarvex_x86_test(x86_wine_engine_windows7 wine COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE}
    tarvex_wine_tests_win7.exe --gtest_filter=Win7Gate*)
  tarvex_x86_test(x86_wine_engine_partial_amsi wine COMMAND ${TARVEX_X86_BED_RUNNER}
    ${TARVEX_WINE_PARTIAL_STAGE} tarvex_wine_tests.exe --gtest_filter=PartialAmsi*)
  tarvex_x86_test(x86_wine_engine_no_amsi wine ENVIRONMENT "TARVEX_WINEDLLOVERRIDES=amsi="
    COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=NoAmsi*)
  # What only the x86 engine under WOW64 meets: System32 and Sysnative paths
  # name the native system folder, the caller's thread keeps its own
  # redirection, and a 64-bit process gets an entry for the memory above 2 GiB.
  tarvex_x86_test(x86_wine_engine_wow64 wine COMMAND ${TARVEX_X86_BED_RUNNER}
    ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=Wow64*)
  # Faults injected into the x86 engine's fault-injection test build.
  tarvex_x86_test(x86_wine_engine_faults wine COMMAND ${TARVEX_X86_BED_RUNNER}
    ${TARVEX_FAULT_STAGE} tarvex_wine_tests.exe --gtest_filter=Faults*:PausedWalk*)
  tarvex_x86_test(x86_wine_robustness soak FULL COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE}
    tarvex_wine_tests.exe --gtest_filter=Robust*)
  tarvex_x86_test(x86_wine_soak soak FULL COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_WINE_STAGE}
    tarvex_wine_tests.exe --gtest_filter=Soak*)

  # The console program's suites.
  tarvex_x86_test(x86_wine_console console COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_CONSOLE_STAGE}
    console_wine_tests.exe --gtest_filter=-ConsoleGerman*)
  tarvex_x86_test(x86_wine_console_german console ENVIRONMENT ${TARVEX_X86_GERMAN}
    COMMAND ${TARVEX_X86_BED_RUNNER} ${TARVEX_CONSOLE_STAGE} console_wine_tests.exe
      --gtest_filter=ConsoleGerman*)

  # The application under Xvfb: the automatic mode by default, the rest in the full run.
  tarvex_x86_test(x86_app_gui_automatic gui COMMAND ${TARVEX_X86_GUI_RUNNER} ${OSTRELLE_STAGE}
    ostrelle_gui_tests.exe --gtest_filter=AppGui.Automatic*)
  tarvex_x86_test(x86_app_gui gui FULL COMMAND ${TARVEX_X86_GUI_RUNNER} ${OSTRELLE_STAGE}
    ostrelle_gui_tests.exe --gtest_filter=AppGui.*-AppGui.Automatic*)
  tarvex_x86_test(x86_app_gui_german gui FULL
    ENVIRONMENT "LC_ALL=de_DE.UTF-8;OSTRELLE_EXPECT_GERMAN=1"
    COMMAND ${TARVEX_X86_GUI_RUNNER} ${OSTRELLE_STAGE} ostrelle_gui_tests.exe
      --gtest_filter=AppGui.IdleWindowAsStarted:AppGui.AutomaticModeWritesBothScansIntoATextLog)
  tarvex_x86_test(x86_app_gui_no_engine gui FULL COMMAND ${TARVEX_X86_GUI_RUNNER}
    ${OSTRELLE_STAGE_NO_ENGINE} ostrelle_gui_tests.exe --gtest_filter=AppWithoutEngine.*)
  tarvex_x86_test(x86_app_gui_large_transfer gui FULL COMMAND ${TARVEX_X86_GUI_RUNNER}
    ${OSTRELLE_STAGE_FAKE} ostrelle_gui_tests.exe --gtest_filter=AppLargeTransfer.*)
endif()
