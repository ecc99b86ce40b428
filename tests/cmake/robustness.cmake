# Long-running robustness suites of the engine, each in its own process.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine_soak
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=Soak*)
  add_test(NAME wine_robustness
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=Robust*)
  set_tests_properties(wine_soak wine_robustness PROPERTIES TIMEOUT 1500 RESOURCE_LOCK wineprefix
    LABELS soak)
endif()
