# Sourced by the run scripts: the build folder, its Wine prefix and a display.
BRACKMOOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$BRACKMOOR_ROOT/build}
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
XVFB_PID=

configure_and_build() {
  cmake -S "$BRACKMOOR_ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$BRACKMOOR_ROOT/cmake/toolchain-x86_64.cmake" "$@" >/dev/null
  cmake --build "$BUILD_DIR"
}

# A virtual display when none is set; stopped again by stop_display.
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 77 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break; sleep 0.1; done
    export DISPLAY=":$n"
    return 0
  done
  echo "no free display number" >&2
  return 1
}

# "keep-wine" leaves the Wine servers (and a running monitor) alone; otherwise the
# server of every prefix of the build folder (the tests make more than one) ends.
stop_display() {
  if [ "${1:-}" != keep-wine ]; then
    local prefix
    for prefix in "$BUILD_DIR"/wineprefix*/; do
      [ -d "$prefix" ] && WINEPREFIX=${prefix%/} /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    done
  fi
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
