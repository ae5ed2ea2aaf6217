# cmake [-DSCDOC=<scdoc>] -DSOURCE=<file> -DOUTPUT=<file.gz> -P GzipFile.cmake
# Compresses SOURCE as Debian wants it (gzip -9n: no name or time stamp),
# first turned into a manual page by scdoc when SCDOC is given. Fails on any
# error of either.
set(input ${SOURCE})
if(SCDOC)
  set(input ${OUTPUT}.roff)
  execute_process(COMMAND ${SCDOC} INPUT_FILE ${SOURCE} OUTPUT_FILE ${input} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE ${input})
    message(FATAL_ERROR "scdoc failed on ${SOURCE}")
  endif()
endif()
execute_process(COMMAND gzip -9n INPUT_FILE ${input} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(SCDOC)
  file(REMOVE ${input})
endif()
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "gzip failed on ${SOURCE}")
endif()
