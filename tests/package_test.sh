#!/usr/bin/env bash
# The Debian package of a build, installed into a scratch root: it holds the
# programs, the bundled show (exactly its tracked files), the manual pages
# and the desktop entry, and lintian finds no fault in it; the installed
# renderer draws the installed show as the build draws the source tree's,
# and the installed player finds its show with no argument.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed"
    exit 77
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >cpack.log 2>&1) ||
  { cat "$scratch/cpack.log"; exit 1; }
package=$(ls "$scratch"/korvane_*_amd64.deb)
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
case "$depends" in *libsdl2*) ;; *) echo "no computed dependencies"; exit 1 ;; esac
root=$scratch/root
dpkg-deb -x "$package" "$root"
for file in bin/korvane bin/korvane-render bin/korvane-inspect \
    "share/korvane/show/Data/mirl .script" "share/korvane/show/mirl .mp3" \
    share/man/man1/korvane.1.gz share/man/man1/korvane-render.1.gz \
    share/applications/korvane.desktop share/doc/korvane/copyright \
    share/doc/korvane/changelog.Debian.gz; do
  if [ ! -e "$root/usr/$file" ]; then
    echo "missing from the package: /usr/$file"
    exit 1
  fi
done

# The bundled show is exactly what git tracks in show/ but its generator:
# nothing a run left in the source tree.
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
  tracked=$(git -C "$source/show" ls-files -z -- . ':!tools' | tr '\0' '\n' | sort)
  installed=$(cd "$root/usr/share/korvane/show" && find . -type f | cut -c3- | sort)
  if [ "$tracked" != "$installed" ]; then
    echo "the installed show differs from the tracked one (< tracked, > installed):"
    diff <(echo "$tracked") <(echo "$installed") || true
    exit 1
  fi
fi

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$package"
fi

export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1
export XDG_STATE_HOME="$scratch/state"
unset DISPLAY WAYLAND_DISPLAY
"$root/usr/bin/korvane-render" "$root/usr/share/korvane/show" \
  --out "$scratch/installed" --at 6000 >/dev/null
"$build/korvane-render" "$source/show" --out "$scratch/built" --at 6000 >/dev/null
cmp "$scratch/installed/at_6000.png" "$scratch/built/at_6000.png"

# No argument, in a folder without a show: the installed bundled show plays
# until SDL hears the interrupt and quits.
mkdir "$scratch/elsewhere"
(cd "$scratch/elsewhere" && timeout --preserve-status -s INT -k 20 5 "$root/usr/bin/korvane" \
  >"$scratch/player.log" 2>&1) || { cat "$scratch/player.log"; exit 1; }
# An installed show is never written to: its log is in the state folder.
log="$XDG_STATE_HOME/korvane/show.debug.log"
grep -q "LOADLAYER" "$log" || { echo "the bundled show was not played"; exit 1; }
if [ -e "$root/usr/share/korvane/show/Data/debug.log" ]; then
  echo "the installed show was written to"
  exit 1
fi
echo "the installed package plays its show"
