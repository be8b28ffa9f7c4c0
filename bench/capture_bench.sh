#!/usr/bin/env bash
# Capture speed: each capture's wall time against drawing alone (--memory)
# at the same size and rate, measured in the same run, with where the time
# goes per frame. bench/capture_bench.sh [BEFORE_RENDER] runs an older
# korvane-render alongside for the figures before a change.
#   QUICK=1 leaves out 4K and the supersampled capture.
set -euo pipefail
cd "$(dirname "$0")/.."
after=build/korvane-render
before=${1:-}
show=show
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1

# Seconds of wall time the command took; its output in $out/said.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >"$out/said" 2>&1 || { cat "$out/said" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }' 
}

row() { # label draw capture
  awk -v l="$1" -v a="$2" -v b="$3" \
    'BEGIN { printf "%-34s %8.1f s %8.1f s %6.2f\n", l, a, b, b / a }' 
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2)"
printf '%-34s %10s %10s %6s\n' capture "--memory" "--video" ratio
for size in 640x480 1920x1080; do
  draw=$(seconds "$after" "$show" --memory --fps 60 --size "$size")
  if [ -n "$before" ]; then
    row "before, $size at 60" "$draw" \
      "$(seconds "$before" "$show" --video "$out/v.mp4" --size "$size")"
  fi
  row "after, $size at 60" "$draw" \
    "$(seconds "$after" "$show" --video "$out/v.mp4" --size "$size")"
  grep "per frame" "$out/said" | sed 's/^/    /'
  if [ "$size" = 1920x1080 ] && [ -z "${QUICK:-}" ]; then
    plain=$(seconds "$after" "$show" --video "$out/v.mp4" --size "$size")
    super=$(seconds "$after" "$show" --video "$out/v.mp4" --size "$size" \
      --supersample 2)
    row "--supersample 2 / plain, $size" "$plain" "$super"
  fi
done
if [ -z "${QUICK:-}" ]; then
  draw=$(seconds "$after" "$show" --memory --fps 30 --size 3840x2160)
  row "after, 3840x2160 at 30" "$draw" \
    "$(seconds "$after" "$show" --video "$out/v.mp4" --fps 30 \
      --size 3840x2160)"
  grep "per frame" "$out/said" | sed 's/^/    /'
fi
one=$(seconds scripts/capture "$show" "$out/one.mp4")
two=$(seconds scripts/capture "$show" "$out/two.mp4" --jobs 2)
row "capture --jobs 2 / --jobs 1" "$one" "$two"
