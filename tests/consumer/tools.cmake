cmake_minimum_required(VERSION 3.20)
# The installed programs play a meter and read it, with no library path set.
set(bin ${PREFIX}/${BINDIR})
execute_process(COMMAND ${bin}/meter-sim -n 2 -i 0 COMMAND ${bin}/obisdump -
                RESULTS_VARIABLE rcs OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rcs STREQUAL "0;0" OR NOT out MATCHES "\n1-0:1\\.8\\.0\\*255#1234500\\.0#Wh\n")
  message(FATAL_ERROR "meter-sim | obisdump - exited ${rcs}:\n${out}\n${err}")
endif()
