# Release packages and fleet recipes, checked from the x64 preset.
#
# msi_build makes the MSIs of both architectures with tools/package-msi.sh from
# the built binaries (the x86 ones from the x86 preset's build folder) and
# checks them statically; msi_wine_x64 and msi_wine_x86 install, upgrade and
# remove them under Wine, each in a prefix of its own that it makes anew. The
# fleet_* tests check the recipes in examples/fleet/; fleet_output_samples and
# fleet_ansible read JSON Lines that the console program wrote under Wine
# (fixture console_output_samples, console.cmake), checked against
# docs/output.md and fed to the Ansible summary play.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  return()
endif()

# The system interpreter: python3-yaml and python3-olefile are Debian packages.
set(TARVEX_SYSTEM_PYTHON /usr/bin/python3)
set(TARVEX_X86_BIN_DIR ${PROJECT_SOURCE_DIR}/build/x86/bin CACHE PATH
  "Binaries of the x86 preset, packed into the x86 MSI by the package tests")
# Below bin/, so that the Wine runner can start the staged console program.
set(TARVEX_MSI_TEST_DIR ${CMAKE_BINARY_DIR}/bin/msi-test)
math(EXPR TARVEX_NEWER_PATCH "${PROJECT_VERSION_PATCH} + 1")
set(TARVEX_NEWER_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${TARVEX_NEWER_PATCH})

add_test(NAME msi_build
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/msi_build_test.sh $<TARGET_FILE_DIR:tarvex>
    ${TARVEX_X86_BIN_DIR} ${TARVEX_MSI_TEST_DIR} ${PROJECT_VERSION} ${TARVEX_NEWER_VERSION})
set_tests_properties(msi_build PROPERTIES LABELS "package;static" FIXTURES_SETUP msi_packages
  TIMEOUT 300)
foreach(arch x64 x86)
  add_test(NAME msi_wine_${arch}
    COMMAND ${TARVEX_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/package/msi_wine_test.py ${arch}
      ${TARVEX_MSI_TEST_DIR} ${PROJECT_VERSION} ${TARVEX_NEWER_VERSION} ${TARVEX_WINE_RUNNER}
      ${CMAKE_BINARY_DIR}/wineprefix-msi-${arch})
  set_tests_properties(msi_wine_${arch} PROPERTIES LABELS "package;wine"
    FIXTURES_REQUIRED msi_packages TIMEOUT 600)
endforeach()

set(TARVEX_OUTPUT_DOC ${PROJECT_SOURCE_DIR}/docs/output.md)
set(TARVEX_FLEET_DIR ${PROJECT_SOURCE_DIR}/examples/fleet)
set(TARVEX_FLEET_CHECK ${TARVEX_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/fleet/check_fleet_recipes.py)
add_test(NAME fleet_output_samples
  COMMAND ${TARVEX_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/fleet/output_schema.py
    ${TARVEX_OUTPUT_DOC} ${TARVEX_CONSOLE_SAMPLES})
add_test(NAME fleet_velociraptor
  COMMAND ${TARVEX_FLEET_CHECK} velociraptor
    ${TARVEX_FLEET_DIR}/velociraptor/Custom.Ostrelle.Scan.yaml ${TARVEX_OUTPUT_DOC})
add_test(NAME fleet_ansible
  COMMAND ${TARVEX_FLEET_CHECK} ansible ${TARVEX_FLEET_DIR}/ansible/ostrelle-scan.yml
    ${TARVEX_OUTPUT_DOC} ${TARVEX_CONSOLE_SAMPLES} ${CMAKE_BINARY_DIR}/fleet-ansible)
add_test(NAME fleet_powershell
  COMMAND ${TARVEX_FLEET_CHECK} powershell
    ${TARVEX_FLEET_DIR}/powershell/Invoke-OstrelleScan.ps1 ${TARVEX_OUTPUT_DOC})
set_tests_properties(fleet_velociraptor fleet_powershell
  PROPERTIES LABELS "static;fleet" TIMEOUT 300)
set_tests_properties(fleet_output_samples fleet_ansible PROPERTIES LABELS "console;fleet"
  TIMEOUT 300 FIXTURES_REQUIRED console_output_samples)
