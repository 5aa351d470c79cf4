# An unknown configuration number is refused with exit code 2 before any display is needed.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
        ${RAVLEN} --config 999
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2 OR NOT err STREQUAL "ravlen: no configuration has the number '999'.\n")
    message(FATAL_ERROR "exit ${code}, stderr: ${err}")
endif()

# The fields of a data file are suggested without a display.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
        ${RAVLEN} --suggest-fields ${CMAKE_CURRENT_LIST_DIR}/../../../samples/orders-2004-11.xml
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 0 OR NOT out MATCHES "/FD:RidoRudu/FD:Datas\\[@Table='Order'\\]/FD:Field\\[@Name='OrderNo'\\]\tOrderNo\t1\n")
    message(FATAL_ERROR "exit ${code}, stdout: ${out} stderr: ${err}")
endif()
