cmake_minimum_required(VERSION 3.20)
# Installs the build into a private prefix, as `cmake --install` does for a
# user, and checks that everything a user reaches for is there. The consumers
# build against this prefix.
file(REMOVE_RECURSE ${PREFIX})
# Every install rewrites the build's install_manifest.txt, which the user's
# own install left there for uninstalling: it is kept as it was.
set(manifest ${BUILD_DIR}/install_manifest.txt)
set(saved ${PREFIX}.manifest)
file(REMOVE ${saved})
get_filename_component(work ${PREFIX} DIRECTORY)
file(MAKE_DIRECTORY ${work})
if(EXISTS ${manifest})
  file(RENAME ${manifest} ${saved})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE ${manifest})
if(EXISTS ${saved})
  file(RENAME ${saved} ${manifest})
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}\n${err}")
endif()

set(missing)
foreach(file IN ITEMS
    ${INCLUDEDIR}/sml/sml_file.h ${INCLUDEDIR}/sml/zelkor_version.h ${INCLUDEDIR}/sml/sml_reading.h
    ${INCLUDEDIR}/zelkor/zelkor.hpp
    ${LIBDIR}/libzelkor.a ${LIBDIR}/libzelkor.so ${LIBDIR}/pkgconfig/zelkor.pc
    ${LIBDIR}/cmake/zelkor/zelkorConfig.cmake ${LIBDIR}/cmake/zelkor/zelkorConfigVersion.cmake
    ${BINDIR}/obisdump ${BINDIR}/meter-sim
    ${MANDIR}/man1/obisdump.1 ${MANDIR}/man1/meter-sim.1)
  if(NOT EXISTS ${PREFIX}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not installed under ${PREFIX}: ${missing}")
endif()
