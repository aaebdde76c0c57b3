#!/bin/sh
# Renders each manual page as man(1) does, with every groff warning enabled,
# and fails on any warning. Exits 77 (skipped) without groff.
command -v groff >/dev/null 2>&1 || { echo "groff is not installed"; exit 77; }
[ $# -gt 0 ] || { echo "no manual pages given"; exit 1; }
status=0
for page in "$@"; do
	if ! warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1) || [ -n "$warnings" ]; then
		printf '%s:\n%s\n' "$page" "$warnings"
		status=1
	fi
done
exit $status
