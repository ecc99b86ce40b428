# The engine's fault-injection test build: the engine's own sources with the
# fault points switched on (engine/fault_injection.h), under the engine's file
# name in a folder of its own, beside the Wine test program, the test provider
# and the memory holder. The shipped library has no fault points
# (engine_exports_and_imports checks it).
set(TARVEX_FAULT_STAGE ${CMAKE_BINARY_DIR}/bin/faulttest)
tarvex_add_engine_library(tarvex_faults)
target_compile_definitions(tarvex_faults PRIVATE TARVEX_FAULT_INJECTION)
set_target_properties(tarvex_faults PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${TARVEX_FAULT_STAGE} LIBRARY_OUTPUT_DIRECTORY ${TARVEX_FAULT_STAGE})
add_custom_target(tarvex_fault_stage ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVEX_FAULT_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:tarvex_wine_tests> ${TARVEX_FAULT_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:test_amsi> ${TARVEX_FAULT_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:memory_holder> ${TARVEX_FAULT_STAGE})
add_dependencies(tarvex_fault_stage tarvex_faults tarvex_wine_tests test_amsi memory_holder)

# Long-running robustness suites of the engine, each in its own process, in a
# prefix of their own (its own wineserver: the process scans see only their
# own processes), so that they run beside the other Wine suites.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine_soak
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=Soak*)
  add_test(NAME wine_robustness
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_WINE_STAGE} tarvex_wine_tests.exe --gtest_filter=Robust*)
  set_tests_properties(wine_soak wine_robustness PROPERTIES TIMEOUT 1500
    RESOURCE_LOCK wineprefix-soak LABELS soak
    ENVIRONMENT TARVEX_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-soak)
  add_test(NAME wine_engine_faults
    COMMAND ${TARVEX_WINE_RUNNER} ${TARVEX_FAULT_STAGE} tarvex_wine_tests.exe --gtest_filter=Faults*:PausedWalk*)
  set_tests_properties(wine_engine_faults PROPERTIES TIMEOUT 600 RESOURCE_LOCK wineprefix
    LABELS wine)
endif()
