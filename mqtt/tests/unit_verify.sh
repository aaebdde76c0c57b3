#!/bin/sh
# The installed systemd unit passes systemd-analyze verify: the build is
# installed under a staged root (DESTDIR), where the unit's ExecStart exists,
# beside a copy of the system's own units that the template's dependencies
# name. Exits 77 (skipped) where systemd-analyze is not installed.
#   unit_verify.sh BUILD_DIR STAGE_DIR
set -eu
build=$1
stage=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "systemd-analyze is not installed"; exit 77; }
[ -d /usr/lib/systemd/system ] || { echo "no /usr/lib/systemd/system"; exit 77; }

rm -rf "$stage"
mkdir -p "$stage/usr/lib/systemd"
# The user's own install_manifest.txt (for uninstalling) stays as it was.
manifest=$build/install_manifest.txt
[ ! -f "$manifest" ] || cp "$manifest" "$stage.manifest"
DESTDIR=$stage cmake --install "$build" >/dev/null
rm -f "$manifest"
[ ! -f "$stage.manifest" ] || mv "$stage.manifest" "$manifest"

cp -r /usr/lib/systemd/system "$stage/usr/lib/systemd/"
unit=$(find "$stage" -path '*/lib/systemd/system/zelkor-mqtt@.service' ! -path "$stage/usr/lib/systemd/system/*")
[ -n "$unit" ] || { echo "zelkor-mqtt@.service is not installed"; exit 1; }
systemd-analyze verify --man=no --root="$stage" "$unit"
echo "verified: ${unit#"$stage"}"
