# Warnings are private flags of each of our targets, so headers of outside libraries
# never trip them; CI turns them into errors.
function(plashwerk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(PLASHWERK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
