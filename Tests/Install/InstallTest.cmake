# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DSCRATCH_DIR=... -DCHECK_EMBEDDED_PATHS=ON|OFF -P this
#
# Installs the build into a scratch prefix, moves the prefix so that nothing can rely on where
# it was installed, and runs the demo from / with a cache and home of its own.
foreach(variable BUILD_DIR SOURCE_DIR SCRATCH_DIR)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${SCRATCH_DIR})
set(staging ${SCRATCH_DIR}/staging)
set(prefix ${SCRATCH_DIR}/moved)
file(MAKE_DIRECTORY ${SCRATCH_DIR}/cache ${SCRATCH_DIR}/home)

# Stripped, as a package would be: debug information names the trees by design.
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${staging} --strip
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()
file(RENAME ${staging} ${prefix})

foreach(program corvalle corvalle-desktop corvalle-marketplace)
  if(NOT EXISTS ${prefix}/bin/${program})
    message(FATAL_ERROR "${program} was not installed into ${prefix}/bin")
  endif()
endforeach()
if(NOT EXISTS ${prefix}/share/man/man1/corvalle.1)
  message(FATAL_ERROR "the manual page was not installed into ${prefix}/share/man/man1")
endif()
foreach(sample world.json castle-wall.xml)
  if(NOT EXISTS ${prefix}/share/corvalle/samples/${sample})
    message(FATAL_ERROR "${sample} was not installed into ${prefix}/share/corvalle/samples")
  endif()
endforeach()

if(CHECK_EMBEDDED_PATHS)
  function(escape_for_regex text result)
    string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" escaped "${text}")
    set(${result} "${escaped}" PARENT_SCOPE)
  endfunction()
  escape_for_regex("${SOURCE_DIR}" source_pattern)
  escape_for_regex("${BUILD_DIR}" build_pattern)
  foreach(program corvalle corvalle-desktop corvalle-marketplace)
    file(STRINGS ${prefix}/bin/${program} texts REGEX "${build_pattern}")
    foreach(text IN LISTS texts)
      message(FATAL_ERROR "${program} holds the build tree's path: \"${text}\"")
    endforeach()
    file(STRINGS ${prefix}/bin/${program} texts REGEX "${source_pattern}")
    foreach(text IN LISTS texts)
      message(FATAL_ERROR "${program} holds the source tree's path: \"${text}\"")
    endforeach()
  endforeach()
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env XDG_CACHE_HOME=${SCRATCH_DIR}/cache HOME=${SCRATCH_DIR}/home
          ${prefix}/bin/corvalle demo
  WORKING_DIRECTORY /
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "corvalle demo failed (${status}):\n${output}\n${errors}")
endif()
string(FIND "${output}" "Combination #1" at)
if(at LESS 0)
  message(FATAL_ERROR "corvalle demo printed no \"Combination #1\":\n${output}\n${errors}")
endif()
string(FIND "${errors}" "${prefix}/share/corvalle/samples/world.json" at)
if(at LESS 0)
  message(FATAL_ERROR "corvalle demo did not serve the installed world:\n${errors}")
endif()

# Without its samples the demo says where it looked.
file(REMOVE_RECURSE ${prefix}/share/corvalle/samples)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env XDG_CACHE_HOME=${SCRATCH_DIR}/cache HOME=${SCRATCH_DIR}/home
          ${prefix}/bin/corvalle demo
  WORKING_DIRECTORY /
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
string(FIND "${errors}" "${prefix}/share/corvalle/samples/" at)
if(status EQUAL 0 OR at LESS 0)
  message(FATAL_ERROR "corvalle demo without samples ended with ${status} and said:\n${errors}")
endif()

file(REMOVE_RECURSE ${SCRATCH_DIR})
