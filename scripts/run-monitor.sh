#!/usr/bin/env bash
# Builds the monitor and starts it under Wine (on a virtual display when none is
# set). It runs until it is asked to exit: tray menu "Exit", or in another shell
#   BUILD_DIR=... bash scripts/run-monitor.sh -Q
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$BRACKMOOR_ROOT/scripts/setup.sh"
configure_and_build -DBRACKMOOR_TESTS=OFF
if [ ! -f "$WINEPREFIX/.brackmoor-ready" ]; then
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.brackmoor-ready"
fi
start_display
case " $* " in
  *" -Q "*) trap 'stop_display keep-wine' EXIT ;;   # only forwards the exit request
  *) trap stop_display EXIT ;;
esac
echo "Brackmoor runs on display $DISPLAY; stop it with: bash scripts/run-monitor.sh -Q"
/usr/lib/wine/wine64 "$BUILD_DIR/bin/brackmoor.exe" "$@"
