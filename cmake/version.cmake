# Version resource (VERSIONINFO) for every DLL and EXE, from the one version
# number of the build: the project() version in the top-level CMakeLists.txt.
#
#   tarvex_add_version_resource(<target> "<file description>")
#
# Included once, by the top-level CMakeLists.txt; Windows builds only.
if(NOT WIN32)
  return()
endif()
enable_language(RC)

function(tarvex_add_version_resource target description)
  get_target_property(target_type ${target} TYPE)
  if(target_type STREQUAL "EXECUTABLE")
    set(TARVEX_VERSION_FILE_TYPE VFT_APP)
  else()
    set(TARVEX_VERSION_FILE_TYPE VFT_DLL)
  endif()
  set(TARVEX_VERSION_FILE_DESCRIPTION "${description}")
  set(TARVEX_VERSION_TARGET ${target})
  # @...@ first, then the generator expressions for the file names.
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc.in)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${configured} @ONLY)
  file(GENERATE OUTPUT ${generated} INPUT ${configured})
  target_sources(${target} PRIVATE ${generated})
endfunction()
