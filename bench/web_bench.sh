#!/usr/bin/env bash
# The site that scripts/web built against the native build, in one sitting
# on this machine: frames per second of the bundled show at 640x480 in
# headless Chromium (WebGL 2 on SwiftShader) and natively (korvane-render
# --renderer gles --memory on llvmpipe) as a ratio, the download a host
# serves gzip-compressed, and the time from opening the page to its first
# frame.
set -euo pipefail
cd "$(dirname "$0")/.."
site=${KORVANE_WEB_SITE:-build-web}
render=${KORVANE_RENDER:-build/korvane-render}
modules=$(tests/web/playwright)

export SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy
# Every frame at 60 a second, as korvane-render --memory draws them.
length=$(build/korvane-inspect show 2>/dev/null |
  python3 -c 'import json, sys; print(json.load(sys.stdin)["parts"][-1]["endtime"])')
began=$(date +%s.%N)
"$render" show --memory --renderer gles --fps 60 >/dev/null
ended=$(date +%s.%N)
native=$(python3 -c "print(($length * 60 // 1000) / ($ended - $began))")

web=$(NODE_OPTIONS= KORVANE_NODE_MODULES="$modules" node bench/web_bench.cjs "$site")

# The download: each file as gzip -9 would serve it.
download=0
for file in "$site"/*.*; do
  download=$((download + $(gzip -9 -c "$file" | wc -c)))
done

python3 - "$native" "$web" "$download" <<'PY'
import json, sys
native, web, download = float(sys.argv[1]), json.loads(sys.argv[2]), int(sys.argv[3])
print("native (korvane-render --renderer gles --memory, llvmpipe): %.1f fps" % native)
print("browser (headless Chromium, SwiftShader): %.1f fps (%d frames in %.1f s)"
      % (web["fps"], web["frames"], web["seconds"]))
print("browser / native: %.2f" % (web["fps"] / native))
print("download, gzip -9: %.2f MB" % (download / 1e6))
print("page opened to first frame (?at=0, best of 3): %d ms" % web["firstFrameMs"])
PY
