# Builds one consumer program against the installed prefix and runs it.
#   LINK   a CMake target (zelkor::zelkor, zelkor::zelkor_static): a CMake
#          project in the source's language alone finds it with find_package;
#          or "pkg-config [options]": the compiler is called with what
#          pkg-config gives; with --static the program is linked -static.
#   SOURCE the program; .c is C, anything else C++.
#   EXTRA_FLAGS (optional) compiler options beside the usual ones, such as
#          -fno-exceptions.
cmake_minimum_required(VERSION 3.20)
set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

get_filename_component(ext ${SOURCE} LAST_EXT)
if(ext STREQUAL ".c")
  set(language C)
  set(compiler ${C_COMPILER})
  set(flags -std=c11 -Wall -Wextra -Werror)
else()
  set(language CXX)
  set(compiler ${CXX_COMPILER})
  set(flags -std=c++20 -Wall -Wextra -Werror)
endif()

separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
list(APPEND flags ${extra})

separate_arguments(link UNIX_COMMAND "${LINK}")
list(POP_FRONT link how)
if(how STREQUAL "pkg-config")
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  run(${PKG_CONFIG} --validate zelkor)
  execute_process(COMMAND ${PKG_CONFIG} ${link} --cflags zelkor
                  OUTPUT_VARIABLE cflags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  execute_process(COMMAND ${PKG_CONFIG} ${link} --libs zelkor
                  OUTPUT_VARIABLE libs OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc2)
  if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know zelkor")
  endif()
  # A consumer's compile flags point at zelkor's headers and nowhere else.
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  file(REAL_PATH ${PREFIX}/${INCLUDEDIR} includedir)
  foreach(flag IN LISTS cflags)
    string(REGEX REPLACE "^-I" "" dir "${flag}")
    file(REAL_PATH "${dir}" dir)
    if(NOT flag MATCHES "^-I" OR NOT dir STREQUAL includedir)
      message(FATAL_ERROR "pkg-config --cflags zelkor carries ${flag}, beside zelkor's include directory")
    endif()
  endforeach()
  separate_arguments(libs UNIX_COMMAND "${libs}")
  if("--static" IN_LIST link)
    # libzelkor.a, not the shared library beside it: runs without a library path.
    list(APPEND libs -static)
  else()
    # No rpath from pkg-config: the loader is told where the library is.
    set(ENV{LD_LIBRARY_PATH} ${PREFIX}/${LIBDIR})
  endif()
  run(${compiler} ${flags} ${SOURCE} ${cflags} ${libs} -o ${work}/consumer)
else()
  string(JOIN " " flags ${flags})
  run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${work} -G ${GENERATOR}
      -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_${language}_COMPILER=${compiler} "-DCMAKE_${language}_FLAGS=${flags}"
      -DCONSUMER_LANGUAGE=${language} -DCONSUMER_SOURCE=${SOURCE} -DZELKOR_TARGET=${how})
  run(${CMAKE_COMMAND} --build ${work})
endif()
run(${work}/consumer)
