#!/bin/sh
# Runs a test program on a virtual X server of 1280x1024 without a window
# manager: with-xvfb.sh PROGRAM [ARGS...]. Exits 77 (skipped) where there
# is no Xvfb.
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIPPED: there is no Xvfb here to run $1 on"
  exit 77
fi
dir=$(mktemp -d)
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
# The server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" \
  >"$dir/log" 2>&1 &
server=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
if ! [ -s "$dir/display" ]; then
  echo "SKIPPED: Xvfb did not start:"
  cat "$dir/log"
  exit 77
fi
DISPLAY=":$(cat "$dir/display")" SDL_VIDEODRIVER=x11 "$@"
