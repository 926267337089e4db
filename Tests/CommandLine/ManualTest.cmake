# cmake -DPROGRAM=... -DMANUAL=... -P this
#
# Every long option the program's help pages offer must be in the manual page, so that the two
# cannot drift apart unnoticed.
foreach(variable PROGRAM MANUAL)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

file(READ ${MANUAL} manual)
# The page writes a hyphen as "\-".
string(REPLACE "\\-" "-" manual "${manual}")
set(checked 0)
foreach(command list find demo)
  execute_process(COMMAND ${PROGRAM} ${command} --help RESULT_VARIABLE status
                  OUTPUT_VARIABLE help ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed (${status}): ${errors}")
  endif()
  string(REGEX MATCHALL "--[a-z][a-z-]+" options "${help}")
  list(REMOVE_DUPLICATES options)
  foreach(option IN LISTS options)
    if(option STREQUAL "--help")
      continue()
    endif()
    string(FIND "${manual}" "${option}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${command}'s option ${option} is not in ${MANUAL}")
    endif()
    math(EXPR checked "${checked} + 1")
  endforeach()
endforeach()
if(checked LESS 10)
  message(FATAL_ERROR "only ${checked} options found in the help pages")
endif()
