# Installs the build into a private prefix and builds a tiny consumer against
# it, once through find_package(zelkor) and once through pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(here ${SOURCE_DIR}/tests/consumer)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

run(${CMAKE_COMMAND} -S ${here} -B ${WORK_DIR}/cmake-build -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer)

file(GLOB_RECURSE pcs ${prefix}/*/zelkor.pc)
list(GET pcs 0 pc)
get_filename_component(pcdir ${pc} DIRECTORY)
get_filename_component(libdir ${pcdir} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
execute_process(COMMAND pkg-config --cflags --libs zelkor OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know zelkor")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(cc -std=c11 -Wall -Werror ${here}/main.c ${flags} -o ${WORK_DIR}/pkgconfig-consumer)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK_DIR}/pkgconfig-consumer)
