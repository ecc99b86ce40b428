# tarvex_stage_files(<name> <directory> <target>...): a target of every build
# that copies the files of the given targets into directory, laid out as a
# caller has them (a program beside the engine and a provider). A POST_BUILD
# step of the program would copy only when the program itself is linked
# again; the engine is loaded by file name, so an engine-only change would
# leave the older engine in the stage.
function(tarvex_stage_files name directory)
  set(files)
  foreach(target IN LISTS ARGN)
    list(APPEND files $<TARGET_FILE:${target}>)
  endforeach()
  add_custom_target(${name} ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${directory}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${directory}
    VERBATIM)
  add_dependencies(${name} ${ARGN})
endfunction()
