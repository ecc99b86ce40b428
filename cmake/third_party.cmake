# Header-only libraries from the build machine: CLI11 (the console program's
# command line) and nlohmann/json (its JSON output, and the tests that read it).
# find_package locates them (Debian: libcli11-dev, nlohmann-json3-dev). Their
# include folder is the system's, which a cross build must not see whole (it
# holds the glibc headers), so the two header folders are linked into a folder
# of the build tree: target tarvex_third_party_headers.
find_package(CLI11 CONFIG QUIET)
find_package(nlohmann_json CONFIG QUIET)
if(NOT TARGET CLI11::CLI11 OR NOT TARGET nlohmann_json::nlohmann_json)
  message(FATAL_ERROR "CLI11 or nlohmann/json is missing: run tools/install-deps.sh "
                      "(libcli11-dev, nlohmann-json3-dev)")
endif()

set(TARVEX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party_include)
file(MAKE_DIRECTORY ${TARVEX_THIRD_PARTY_INCLUDE})
foreach(package_and_header CLI11::CLI11=CLI/CLI.hpp nlohmann_json::nlohmann_json=nlohmann/json.hpp)
  string(REPLACE "=" ";" pair ${package_and_header})
  list(GET pair 0 package_target)
  list(GET pair 1 header)
  get_filename_component(header_dir ${header} DIRECTORY)
  get_target_property(package_includes ${package_target} INTERFACE_INCLUDE_DIRECTORIES)
  find_path(TARVEX_${header_dir}_INCLUDE_DIR ${header} PATHS ${package_includes}
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TARVEX_${header_dir}_INCLUDE_DIR)
    message(FATAL_ERROR "${header} not found in ${package_includes}")
  endif()
  file(CREATE_LINK ${TARVEX_${header_dir}_INCLUDE_DIR}/${header_dir}
       ${TARVEX_THIRD_PARTY_INCLUDE}/${header_dir} SYMBOLIC)
endforeach()

add_library(tarvex_third_party_headers INTERFACE)
target_include_directories(tarvex_third_party_headers SYSTEM INTERFACE ${TARVEX_THIRD_PARTY_INCLUDE})
