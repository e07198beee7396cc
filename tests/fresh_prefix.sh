#!/usr/bin/env bash
# Removes a test prefix of the build folder, ending its Wine server first, so that
# the next program that cmake/wine-run.sh starts in it makes the prefix afresh.
set -u
prefix=$1
case "$(basename "$prefix")" in
  wineprefix-*) ;;
  *) echo "fresh_prefix.sh: $prefix is no test prefix (wineprefix-<name>)" >&2; exit 1 ;;
esac
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w >/dev/null 2>&1
rm -rf "$prefix" "$prefix.lock" "$prefix.xvfb.lock"
[ ! -e "$prefix" ]
