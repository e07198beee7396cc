#!/usr/bin/env bash
# The XP import check itself, on tests/import_probe.cpp built as the release build
# is built (i686, static runtimes): it passes the program that calls only what XP
# has, and fails, naming the fault, on a direct call of a Vista function and on a
# PE header that asks for a subsystem newer than XP's.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

build() {   # name, extra compiler and linker options
  local name=$1; shift
  i686-w64-mingw32-g++-posix -O2 -mwindows -static -static-libgcc -static-libstdc++ \
    "$root/tests/import_probe.cpp" -o "$work/$name.exe" "$@" || exit 1
}
expect() {  # name, expected exit code, text the report must hold
  python3 "$root/scripts/check-imports.py" "$work/$1.exe" >"$work/$1.txt" 2>&1
  local rc=$?
  if [ "$rc" -ne "$2" ] || ! grep -qF -- "$3" "$work/$1.txt"; then
    echo "FAIL $1: exit $rc (expected $2), report:"; cat "$work/$1.txt"
    failures=$((failures + 1))
  else
    echo "ok   $1: $3"
  fi
}

xp_headers=-Wl,--major-subsystem-version,5,--minor-subsystem-version,1
build xp "$xp_headers"
build vista_call -DVISTA_CALL -D_WIN32_WINNT=0x0600 "$xp_headers"
build vista_headers -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
expect xp 0 "all in the Windows XP SP3 list"
expect vista_call 1 "imports advapi32.dll RegDeleteKeyExA, not in the XP list"
expect vista_headers 1 "subsystem version 6.0"
echo "$((3 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
