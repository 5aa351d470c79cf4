# The configuration beside the executable follows an edit of the sample without a relink.
# The edit is simulated by a newer time stamp on the sample, given back afterwards.
file(WRITE ${COPY} "stale")
set(stamp ${COPY}.sample-time)
execute_process(COMMAND touch -r ${SAMPLE} ${stamp} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND touch ${SAMPLE} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ravlen
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
execute_process(COMMAND touch -r ${stamp} ${SAMPLE} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${stamp})
if(NOT result EQUAL 0)
    message(FATAL_ERROR "build failed: ${output}")
endif()
file(READ ${SAMPLE} expected)
file(READ ${COPY} actual)
if(NOT actual STREQUAL expected)
    file(COPY_FILE ${SAMPLE} ${COPY})
    message(FATAL_ERROR "${COPY} does not follow ${SAMPLE}")
endif()
