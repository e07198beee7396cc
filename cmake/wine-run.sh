#!/usr/bin/env bash
# Runs a Windows program under wine64 in the build folder's own prefix.
# The prefix is made once (guarded by flock) and reused. Wine's helper processes
# inherit stderr from whoever starts them first, so Wine's stderr goes to a temp
# file and is replayed after the program ends; otherwise CTest would wait on them.
# BRACKMOOR_WINVER (a Wine "Version" such as winxp64) picks another prefix of the
# build folder, wineprefix-<version>, in which Wine reports that Windows version.
set -u
: "${BRACKMOOR_BUILD_DIR:?set by the generated wrapper}"
if [ -n "${BRACKMOOR_WINVER:-}" ]; then
  export WINEPREFIX="$BRACKMOOR_BUILD_DIR/wineprefix-$BRACKMOOR_WINVER"
else
  export WINEPREFIX="${WINEPREFIX:-$BRACKMOOR_BUILD_DIR/wineprefix}"
fi
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)

if [ ! -f "$WINEPREFIX/.brackmoor-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.brackmoor-ready" ]; then
      "$WINE" wineboot -i >/dev/null 2>&1
      # Without a window manager on Xvfb every hidden window costs 2 s unless unmanaged.
      "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      if [ -n "${BRACKMOOR_WINVER:-}" ]; then
        "$WINE" reg add 'HKCU\Software\Wine' /v Version /d "$BRACKMOOR_WINVER" /f >/dev/null 2>&1
      fi
      "$WINESERVER" -w
      touch "$WINEPREFIX/.brackmoor-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

if [ -z "${DISPLAY:-}" ]; then
  # One virtual display per build folder, started on first use and left running.
  num=$(( 90 + $(printf '%s' "$WINEPREFIX" | cksum | cut -d' ' -f1) % 400 ))
  if ! xdpyinfo -display ":$num" >/dev/null 2>&1; then
    (
      flock 8
      if ! xdpyinfo -display ":$num" >/dev/null 2>&1; then
        nohup Xvfb ":$num" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        for _ in $(seq 50); do xdpyinfo -display ":$num" >/dev/null 2>&1 && break; sleep 0.1; done
      fi
    ) 8>"$WINEPREFIX.xvfb.lock"
  fi
  export DISPLAY=":$num"
fi

# Debian's wineserver script starts the server with -p0: it ends the moment its last
# program ends, and a program started in that moment (the next test) exits at once
# with 1 and no output. A server that stays 30 s keeps the next program off a dying
# one; when a server already runs this does nothing (exit 2).
"$WINESERVER" -p30 >/dev/null 2>&1 || true

err=$(mktemp)
"$WINE" "$@" 2>"$err"
rc=$?
grep -v -E '^(wine: configuration|0[0-9a-f]{3}:(fixme|err):)' "$err" >&2
rm -f "$err"
exit $rc
