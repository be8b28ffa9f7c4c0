# Sourced by run and load: the Wine prefix and a private X display for the
# programs of the oracle.
#
# oracle_build EXE SOURCE LIBS...  builds EXE from SOURCE with mingw-w64
#                                  when it is missing or older
# oracle_wine OUTDIR               makes the prefix on first use, starts a
#                                  private Xvfb when DISPLAY is unset (its
#                                  number is kept in OUTDIR/.display) and
#                                  stops it when the script exits
#
# The Wine prefix is ${KORVANE_WINEPREFIX:-${XDG_CACHE_HOME:-~/.cache}/korvane-wine}.

oracle_build() {
  local exe=$1 source=$2
  shift 2
  if [ ! -f "$exe" ] || [ "$source" -nt "$exe" ]; then
    mkdir -p "$(dirname "$exe")"
    x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -std=gnu99 \
      -o "$exe" "$source" "$@" || return 1
  fi
}

oracle_wine() {
  oracle_display=$1/.display
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEPREFIX=${KORVANE_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/korvane-wine}
  export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installers
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "oracle: making the Wine prefix $WINEPREFIX (once)" >&2
    mkdir -p "$WINEPREFIX" && wineboot -i >/dev/null 2>&1 && wineserver -w
  fi
  oracle_xvfb=
  trap oracle_cleanup EXIT
  if [ -z "${DISPLAY:-}" ]; then
    # Xvfb writes the display number it found free to fd 3.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$oracle_display" 2>/dev/null &
    oracle_xvfb=$!
    for _ in $(seq 100); do [ -s "$oracle_display" ] && break; sleep 0.1; done
    [ -s "$oracle_display" ] || { echo "oracle: Xvfb did not start" >&2; return 1; }
    export DISPLAY=:$(head -n1 "$oracle_display")
  fi
}

oracle_cleanup() {
  rm -f "$oracle_display"
  if [ -n "$oracle_xvfb" ]; then
    # Wine's helpers leave the display before it goes.
    timeout 15 wineserver -w 2>/dev/null
    kill "$oracle_xvfb" 2>/dev/null
    wait "$oracle_xvfb" 2>/dev/null
  fi
}
