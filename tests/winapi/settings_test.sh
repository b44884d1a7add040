#!/usr/bin/env bash
# The colour dialog keeps custom colours for the run only: answering a real dialog (custom colour
# added, red chosen) writes no settings file and leaves an existing one untouched.
set -euo pipefail
probe=$1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config"
printf '[Qt]\ncustomColors\\0=4278190335\n' > "$home/config/QtProject.conf"
before=$(sha256sum "$home/config/QtProject.conf")

out=$(HOME=$home XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run timeout 60 "$probe" colour)
echo "$out"
grep -qx 'CHOSEN 1 0000ff' <<<"$out" || { echo "FAIL: red not chosen"; exit 1; }
grep -qx 'CUSTOM0 1e140a' <<<"$out" || { echo "FAIL: custom colour not copied back"; exit 1; }

[ "$(sha256sum "$home/config/QtProject.conf")" = "$before" ] || { echo "FAIL: settings file changed"; exit 1; }
extra=$(find "$home" -type f ! -path "$home/config/QtProject.conf" ! -path "$home/run/*")
[ -z "$extra" ] || { echo "FAIL: files written: $extra"; exit 1; }
echo "PASS"
