#!/bin/sh
# No object of the library refers to operator new or to anything that throws,
# so no C++ exception can leave through its C API, out of memory or not.
#   library_throws_nothing.sh <nm> <static library>
found=$("$1" -A -u "$2" | grep -E ' U (_Zn[wa]|__cxa_throw|__cxa_rethrow|__cxa_allocate_exception|_ZSt[0-9]+__throw_)')
[ -z "$found" ] && exit 0
echo "$found"
exit 1
