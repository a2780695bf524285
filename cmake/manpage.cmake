# Builds a manual page: refuses a troff source that groff warns about (when
# groff is installed), then compresses it as man finds it.
#   cmake -DSOURCE=page.1 -DOUTPUT=page.1.gz [-DGROFF=/usr/bin/groff] -P manpage.cmake
if(GROFF)
    foreach(device utf8 ascii)
        execute_process(COMMAND ${GROFF} -man -T${device} -ww -z ${SOURCE}
                        RESULT_VARIABLE result ERROR_VARIABLE warnings)
        if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
            message(FATAL_ERROR "${SOURCE} does not format cleanly (${device}):\n${warnings}")
        endif()
    endforeach()
endif()
execute_process(COMMAND gzip -9 -n -c INPUT_FILE ${SOURCE} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot compress ${SOURCE}")
endif()
