# Runs GENERATOR into OUT_DIR and fails unless every PATTERN file in COMMITTED_DIR is
# reproduced byte for byte (and nothing is missing on either side).  In a cross build
# EMULATOR (qemu-user) runs the target's generator: the files must not depend on the
# platform that writes them.
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(COMMAND ${EMULATOR} ${GENERATOR} ${OUT_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()
file(GLOB committed RELATIVE ${COMMITTED_DIR} ${COMMITTED_DIR}/${PATTERN})
file(GLOB regenerated RELATIVE ${OUT_DIR} ${OUT_DIR}/${PATTERN})
if(NOT committed STREQUAL regenerated)
  message(FATAL_ERROR "committed files (${committed}) and regenerated files (${regenerated}) differ")
endif()
foreach(name ${committed})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${COMMITTED_DIR}/${name} ${OUT_DIR}/${name}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${name} differs from what the generator writes now; regenerate and commit it")
  endif()
endforeach()
