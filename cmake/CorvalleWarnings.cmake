# Warnings apply to Corvalle's own targets only, never to the headers of the libraries it uses.
function(corvalle_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(CORVALLE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
