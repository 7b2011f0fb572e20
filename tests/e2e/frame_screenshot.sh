#!/usr/bin/env bash
# Starts vellumix.exe with the tree's Wine launcher, waits for its frame on the X display
# and keeps a picture of the whole screen as <dir>/frame-x11.png. Needs the test run's Wine
# prefix and display. Usage: frame_screenshot.sh <wine launcher> <exe> <dir>
set -uo pipefail
wine=$1
exe=$2
dir=$3
mkdir -p "$dir"
log="$dir/frame-x11.log"

"$wine" "$exe" </dev/null >"$log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null' EXIT

found=""
for _ in $(seq 1 100); do
  found=$(xdotool search --name '^Vellumix$' 2>/dev/null | head -n 1)
  [ -n "$found" ] && break
  sleep 0.2
done
if [ -z "$found" ]; then
  import -window root "$dir/frame-x11-failed.png" 2>/dev/null
  echo "no window titled Vellumix appeared" >&2
  exit 1
fi
sleep 1
import -window root "$dir/frame-x11.png" || exit 1
echo "screenshot: $dir/frame-x11.png"
