#!/usr/bin/env bash
# Pictures of the companion's pages for docs/companion.md: builds, puts a few
# example entries into the build folder's Wine prefix (startup values, a disabled
# and a delayed program, history lines), opens each page on a virtual display,
# crops the window out of the screen into docs/companion/<page>.png, and takes
# the examples away again.
# Usage: bash scripts/screenshots.sh        (BUILD_DIR as for run-tests.sh)
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$BRACKMOOR_ROOT/scripts/setup.sh"
configure_and_build
OUT="$BRACKMOOR_ROOT/docs/companion"
mkdir -p "$OUT"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
EXE="$BUILD_DIR/bin/BrackmoorEx.exe"
start_display
trap stop_display EXIT
# The prefix is made by the wrapper the tests use.
"$BUILD_DIR/wine-run" cmd /c exit >/dev/null 2>&1 || true

reg() { "$WINE" reg "$@" >/dev/null 2>&1; }
RUN='Software\Microsoft\Windows\CurrentVersion\Run'
BM='Software\Dunmere Works\Brackmoor'
SYS='C:\windows\system32'
appdata=$("$WINE" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
data="$("$WINE" winepath -u "$appdata" 2>/dev/null | tr -d '\r')/Brackmoor"
mkdir -p "$data"
history="$data/history.txt"
saved_history=$(mktemp)
[ -f "$history" ] && cp "$history" "$saved_history" || : >"$saved_history"

add_examples() {
  reg add "HKCU\\$RUN" /v "Notes Helper" /d "\"$SYS\\notepad.exe\" /tray" /f
  reg add "HKLM\\$RUN" /v "Registry Check" /d "$SYS\\regedit.exe /s" /f
  reg add "HKLM\\$BM\\Disabled\\Run" /v "Mines" /d "$SYS\\winemine.exe" /f
  reg add "HKLM\\$BM\\Disabled" /v "Mines" /d "11" /f
  reg add "HKCU\\$BM\\Delay" /v "$SYS\\wordpad.exe" /d "11" /f
  reg add "HKCU\\$BM\\Delay\\Title" /v "$SYS\\wordpad.exe" /d "WordPad" /f
  reg add "HKCU\\$BM\\Delay\\Time" /v "$SYS\\wordpad.exe" /d "60" /f
  reg add "HKCU\\$BM\\Delay\\OpenAs" /v "$SYS\\wordpad.exe" /d "1" /f
  reg add "HKCU\\$BM\\Delay\\Parameters" /v "$SYS\\wordpad.exe" /d "/new" /f
  # The window's place, so that every picture has the same size.
  for v in Left:16 Top:16 Width:900 Height:520 Maximized:0; do
    reg add "HKCU\\$BM\\Explorer" /v "${v%%:*}" /d "${v##*:}" /f
  done
  printf '%s\t%s\t%s\t%s\t%s\t%s\r\n' \
    "03/02/2015  9:14 AM" START_Alert CURRENT_RUN "Notes Helper" "$SYS\\notepad.exe /tray" "" \
    "03/02/2015  9:14 AM" SETTING_Accept TYPE_SYSFILE HOSTS "C:\\windows\\system32\\drivers\\etc\\hosts" "" \
    "03/02/2015  9:20 AM" START_Alert CURRENT_RUN Updater "C:\\Tools\\updater.exe -quiet" "" \
    "03/02/2015  9:20 AM" TASK_Kill INFO_TASK updater.exe "C:\\Tools\\updater.exe" "" \
    "03/02/2015  9:20 AM" "*START_Remove" CURRENT_RUN Updater "C:\\Tools\\updater.exe -quiet" "" \
    "03/03/2015  2:05 PM" IEHELPER_Alert TYPE_BHO "Search Helper" "C:\\Tools\\searchbar.dll" "" \
    "03/03/2015  2:06 PM" IEHELPER_Remove TYPE_BHO "Search Helper" "C:\\Tools\\searchbar.dll" "" >>"$history"
}

remove_examples() {
  reg delete "HKCU\\$RUN" /v "Notes Helper" /f
  reg delete "HKLM\\$RUN" /v "Registry Check" /f
  reg delete "HKLM\\$BM\\Disabled" /f
  reg delete "HKCU\\$BM\\Delay" /f
  reg delete "HKCU\\$BM\\Explorer" /f
  cp "$saved_history" "$history"
  rm -f "$saved_history"
}

# The companion's window on the virtual screen: its id and geometry.
window_geometry() {
  xwininfo -root -tree 2>/dev/null | awk '/"Brackmoor Explorer": \("brackmoorex.exe"/ {print $1, $(NF-1); exit}'
}

shoot() {
  local name=$1 geometry size place width height left top
  geometry=$(window_geometry)
  size=${geometry#* }; size=${size%%+*}
  place=${geometry#* }; place=${place#*+}
  width=${size%x*}; height=${size#*x}
  left=${place%+*}; top=${place#*+}
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$left" -top "$top" -width "$width" -height "$height" |
    pnmtopng -compression 9 >"$OUT/$name.png"
  echo "docs/companion/$name.png ${width}x${height}"
}

add_examples
trap 'remove_examples; stop_display' EXIT
"$WINE" "$EXE" -START >/dev/null 2>&1 &
for _ in $(seq 120); do [ -n "$(window_geometry)" ] && break; sleep 0.5; done
[ -n "$(window_geometry)" ] || { echo "the companion did not open" >&2; exit 1; }
for page in START:startup DELAY:delayed-start TASK:running-programs RECENT:recent-history RESET:reset \
            OPTIONS:options KEEL:about; do
  "$WINE" "$EXE" "-${page%%:*}" >/dev/null 2>&1
  sleep 3
  shoot "${page##*:}"
done
"$WINE" "$EXE" -EXIT >/dev/null 2>&1
"$WINESERVER" -w
