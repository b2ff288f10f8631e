# Runs vellomarque-cli (CLI) for its manual page (MAN) and bash completion
# (COMPLETION); a failure fails the build.
foreach(pair "--man;${MAN}" "--bash-completion;${COMPLETION}")
  list(GET pair 0 option)
  list(GET pair 1 file)
  get_filename_component(dir ${file} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${CLI} ${option} OUTPUT_FILE ${file} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE ${file})
    message(FATAL_ERROR "${CLI} ${option} failed: ${result}")
  endif()
endforeach()
