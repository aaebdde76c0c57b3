#!/bin/sh
# The shared library exports exactly what its public headers declare: every
# function and every extern variable of the headers, and nothing else (no
# internal C++, no helper of one module for another).
#   exported_symbols.sh <gcc> <nm> <shared library> <header that includes every public header> <include dir>...
cc=$1 nm=$2 lib=$3 all=$4
shift 4
includes=""
for dir in "$@"; do includes="$includes -I$dir"; done
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

# gcc lists every function prototype it reads; extern variables come from
# the preprocessed headers.
# shellcheck disable=SC2086
"$cc" -x c -fsyntax-only $includes -include "$all" -aux-info "$work/aux" /dev/null || exit 1
for dir in "$@"; do
	grep -F "/* $dir/" "$work/aux"
done | sed -E 's/^\/\*[^*]*\*\/ //; s/ \(.*$//; s/.*[ *]//' >"$work/declared"
# shellcheck disable=SC2086
"$cc" -x c -E -P $includes "$all" | tr '\n' ' ' | tr ';' '\n' |
	sed -nE 's/^[[:space:]]*extern [^(]*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*(\[[^]]*\])?[[:space:]]*$/\1/p' >>"$work/declared"
sort -u "$work/declared" -o "$work/declared"
"$nm" -D --defined-only "$lib" | awk '{print $3}' | sort -u >"$work/exported"

status=0
extra=$(comm -13 "$work/declared" "$work/exported")
missing=$(comm -23 "$work/declared" "$work/exported")
if [ -n "$extra" ]; then
	echo "exported but declared in no public header:"
	echo "$extra"
	status=1
fi
if [ -n "$missing" ]; then
	echo "declared in a public header but not exported:"
	echo "$missing"
	status=1
fi
[ "$(wc -l <"$work/declared")" -gt 100 ] || { echo "too few declarations found: the check itself is broken"; status=1; }
exit $status
