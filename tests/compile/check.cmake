# Compiles a source that must not compile, against its twin that must:
#   cmake -DCOMPILER=c++ "-DFLAGS=-std=c++20 -I..." -DSOURCE=x.cpp -DREFUSED="1 2" -DEXPECT=regex -P check.cmake
# The twin is SOURCE as it stands; each n in REFUSED compiles it with
# -DREFUSED=n, which must fail with an error matching EXPECT. The twin
# compiling shows that the failure comes from the lines that differ, and
# EXPECT that it is the failure meant.
cmake_minimum_required(VERSION 3.20)
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
separate_arguments(refused UNIX_COMMAND "${REFUSED}")

execute_process(COMMAND ${COMPILER} ${flags} -fsyntax-only ${SOURCE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the twin of ${SOURCE} does not compile:\n${out}${err}")
endif()
foreach(n IN LISTS refused)
  execute_process(COMMAND ${COMPILER} ${flags} -DREFUSED=${n} -fsyntax-only ${SOURCE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0)
    message(FATAL_ERROR "${SOURCE} with REFUSED=${n} compiles, and must not")
  endif()
  if(NOT err MATCHES "${EXPECT}")
    message(FATAL_ERROR "${SOURCE} with REFUSED=${n} fails, but not with \"${EXPECT}\":\n${err}")
  endif()
  message(STATUS "REFUSED=${n} refused as meant")
endforeach()
