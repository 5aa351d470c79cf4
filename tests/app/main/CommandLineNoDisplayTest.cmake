# An unknown configuration number is refused with exit code 2 before any display is needed.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
        ${RAVLEN} --config 999
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2 OR NOT err STREQUAL "ravlen: no configuration has the number '999'.\n")
    message(FATAL_ERROR "exit ${code}, stderr: ${err}")
endif()
